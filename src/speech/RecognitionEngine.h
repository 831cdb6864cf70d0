#pragma once

#include <string>

namespace sayvo {

// Which engine a recording runs on; these are the only two values ever stored.
namespace RecognitionEngine {
inline const std::string system = "system";
inline const std::string aliyun = "aliyun";
}  // namespace RecognitionEngine

}  // namespace sayvo
