#include "platform/linux/LinuxSpeechServices.h"

#include <sys/stat.h>

namespace sayvo {

namespace {

bool isDirectory(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

class PocketSphinxRecognizer final : public OnDeviceRecognizer {
public:
    explicit PocketSphinxRecognizer(std::string acousticModel)
        : acousticModel_(std::move(acousticModel)) {}
    // Checked at every start, so installing the model takes effect at once.
    bool isAvailable() const override { return isDirectory(acousticModel_); }
    std::string localeIdentifier() const override { return "en-US"; }

private:
    std::string acousticModel_;
};

}  // namespace

MicrophoneAuthorizationStatus LinuxMicrophoneAuthorization::status() const {
    return MicrophoneAuthorizationStatus::authorized;
}

void LinuxMicrophoneAuthorization::requestAccess(std::function<void(bool granted)> answer) {
    answer(true);
}

PocketSphinxSpeechService::PocketSphinxSpeechService(std::string modelDirectory)
    : modelDirectory_(std::move(modelDirectory)) {}

std::string PocketSphinxSpeechService::defaultModelDirectory() {
    return "/usr/share/pocketsphinx/model/en-us";
}

SpeechAuthorizationStatus PocketSphinxSpeechService::authorizationStatus() const {
    return SpeechAuthorizationStatus::authorized;
}

void PocketSphinxSpeechService::requestAuthorization(
    std::function<void(SpeechAuthorizationStatus)> answer) {
    answer(SpeechAuthorizationStatus::authorized);
}

std::shared_ptr<OnDeviceRecognizer> PocketSphinxSpeechService::recognizerForLocale(
    const std::string& localeId) {
    if (localeId != "en-US" && localeId != "en") return nullptr;
    return std::make_shared<PocketSphinxRecognizer>(modelDirectory_ + "/en-us");
}

std::shared_ptr<OnDeviceRecognizer> PocketSphinxSpeechService::recognizerForDefaultLocale() {
    return recognizerForLocale("en-US");
}

}  // namespace sayvo
