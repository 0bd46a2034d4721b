# Installs the Debian packages the project needs when they are missing.
# Sourced by run.sh and test.sh.

# Building the editor and its tests.
HWT_BUILD_PACKAGES=(cmake make g++ pkg-config qtbase5-dev libqt5svg5-dev libgrantlee5-dev libqt5webkit5-dev libbox2d-dev libchipmunk-dev libsodium-dev libbenchmark-dev libopencv-dev libcgal-dev dpkg-dev)
# The game engines the tests load published files into; their tests are
# skipped, with a message, where these cannot be installed.
HWT_ENGINE_PACKAGES=(love godot3-server)
# Running the editor on a virtual display (screenshots, the headless demo).
HWT_DISPLAY_PACKAGES=(xvfb xauth imagemagick)

hwt_missing_packages() {
  local pkg
  for pkg in "$@"; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' || printf '%s\n' "$pkg"
  done
}

hwt_ensure_packages() {
  local missing
  mapfile -t missing < <(hwt_missing_packages "$@")
  [ "${#missing[@]}" -eq 0 ] && return 0
  echo "Installing missing Debian packages: ${missing[*]}"
  local sudo=()
  if [ "$(id -u)" -ne 0 ]; then
    if command -v sudo >/dev/null; then
      sudo=(sudo)
    else
      echo "error: not root and no sudo; please install: ${missing[*]}" >&2
      return 1
    fi
  fi
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# Like hwt_ensure_packages, but a package that cannot be installed is only
# reported: what needs it is skipped.
hwt_try_packages() {
  local pkg
  for pkg in "$@"; do
    hwt_ensure_packages "$pkg" || echo "warning: could not install $pkg; the tests that need it are skipped" >&2
  done
}

# Matter.js, at the version pinned in tests/exporters/engines/matter/, into
# <build>/node for the tests (node and npm come from Debian when missing).
hwt_install_matter() {
  local build="$1" source="tests/exporters/engines/matter"
  command -v npm >/dev/null || hwt_try_packages nodejs npm
  if ! command -v npm >/dev/null; then
    echo "warning: npm is missing; the Matter.js tests are skipped" >&2
    return 0
  fi
  mkdir -p "$build/node"
  if cmp -s "$source/package-lock.json" "$build/node/package-lock.json" && [ -d "$build/node/node_modules/matter-js" ]; then
    return 0
  fi
  cp "$source/package.json" "$source/package-lock.json" "$build/node/"
  (cd "$build/node" && npm ci --no-audit --no-fund --loglevel=error) \
    || echo "warning: could not install Matter.js from the npm registry; the Matter.js tests are skipped" >&2
}
