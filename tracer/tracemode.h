#pragma once

// Which walker follows the outline. The values are stored in settings and
// carried as combo item data, so they are fixed; any other value walks nothing.
enum class TraceMode : int {
    Natural = 0,   // points on the midpoints of pixel sides
    Straight = 1,  // points on pixel corners, one per change of direction
};

// Which image of an animated body is traced. Fixed values, as above.
enum class AnimationTraceMode : int {
    SingleFrame = 0,            // the frame on show
    AllFramesIntersection = 1,  // per pixel, the least alpha over all frames
    AllFramesUnion = 2,         // per pixel, the greatest alpha over all frames
};
