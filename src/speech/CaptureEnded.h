#pragma once

#include "platform/Translations.h"

namespace sayvo {

// What either engine says when the sound server or the microphone goes away
// in the middle of a recording.
inline constexpr Text kCaptureEnded = SAYVO_TEXT("CaptureEnded", "麦克风已断开，录音已停止");

}  // namespace sayvo
