#pragma once

#include <string>

namespace sayvo {

// What either engine says when the sound server or the microphone goes away
// in the middle of a recording.
inline const std::string kCaptureEndedMessage = "麦克风已断开，录音已停止";

}  // namespace sayvo
