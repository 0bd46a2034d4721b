#pragma once

// Who makes Hullwright and where its services live; the one place these are spelt.
namespace Organization {
// Selects, with the application name, where the settings are stored.
inline constexpr char name[] = "hullwright.org";
inline constexpr char supportAddress[] = "support@hullwright.org";
// Directory-style base of the download server, without a trailing slash.
inline constexpr char downloadBaseUrl[] = "https://downloads.hullwright.org";
// The web server that receives feedback and crash reports.
inline constexpr char feedbackHost[] = "https://hullwright.org";
// The Ed25519 public key (base64) that every update download must be signed
// with; the release process keeps the secret key (scripts/sign-update.sh).
inline constexpr char updatePublicKey[] = "845V528At53CW7srAWXHfJN4Bw9/GsR6Gsg1p8fBTkA=";
}
