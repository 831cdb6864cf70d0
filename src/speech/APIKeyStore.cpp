#include "speech/APIKeyStore.h"

#include <utility>

namespace sayvo {

namespace {
constexpr Text kTitle = SAYVO_TEXT("APIKeyStore", "密钥环");
constexpr Text kInKeyring = SAYVO_TEXT("APIKeyStore", "API Key 保存在系统密钥环中");
constexpr Text kInFile = SAYVO_TEXT("APIKeyStore", "API Key 保存在配置文件中（仅本人可读）");
constexpr Text kUnreadable = SAYVO_TEXT("APIKeyStore", "无法读取其中的 API Key");
constexpr Text kReading = SAYVO_TEXT("APIKeyStore", "正在等待密钥环解锁，解锁后请再试一次");
constexpr Text kLockedAway =
    SAYVO_TEXT("APIKeyStore", "密钥环未解锁，无法读取 API Key：解锁后请再试一次");

Text cause(APIKeyStore::Keyring keyring) {
    switch (keyring) {
        case APIKeyStore::Keyring::locked:
            return SAYVO_TEXT("APIKeyStore", "密钥环未解锁");
        case APIKeyStore::Keyring::refused:
            return SAYVO_TEXT("APIKeyStore", "密钥环拒绝了访问");
        case APIKeyStore::Keyring::gone:
            return SAYVO_TEXT("APIKeyStore", "密钥环服务已停止");
        default:
            return SAYVO_TEXT("APIKeyStore", "没有运行中的密钥环服务");
    }
}
}  // namespace

std::shared_ptr<APIKeyStore> APIKeyStore::create(Preferences& preferences, SecretStore& secrets,
                                                 DecisionLog& log,
                                                 const Translations& translations) {
    return std::shared_ptr<APIKeyStore>(new APIKeyStore(preferences, secrets, log, translations));
}

void APIKeyStore::load() {
    if (keyring != Keyring::unasked) return;
    keyring = Keyring::reading;
    read();
}

void APIKeyStore::retry() {
    if (keyring == Keyring::locked && !busy_) read();
}

void APIKeyStore::read() {
    busy_ = true;
    secrets_.read([weak = weak_from_this()](SecretOutcome outcome, const std::string& secret) {
        if (auto self = weak.lock()) self->readAnswered(outcome, secret);
    });
}

// The newest word wins: a key typed meanwhile, then one in the file (written
// while the keyring was away, or by an older Sayvo), then the keyring's.
std::string APIKeyStore::key() const {
    if (unsaved_) return *unsaved_;
    if (auto inFile = fileKey()) return *inFile;
    return keyringKey_.value_or("");
}

bool APIKeyStore::isKeyOutOfReach() const {
    if (unsaved_ || fileKey() || keyringKey_) return false;
    // A refusal says nothing about a key being there; a locked item is one.
    return keyring == Keyring::reading || keyring == Keyring::locked;
}

std::string APIKeyStore::outOfReachText() const {
    return say(keyring == Keyring::reading ? kReading : kLockedAway);
}

void APIKeyStore::setKey(const std::string& key) {
    if (keyring == Keyring::unasked || keyring == Keyring::none) {
        preferences_.setString(preferencesKey, key);
        return;
    }
    // Tried again even after a failure: the user may unlock it this time.
    unsaved_ = key;
    writeNext();
}

void APIKeyStore::readAnswered(SecretOutcome outcome, const std::string& secret) {
    busy_ = false;
    if (outcome != SecretOutcome::done && outcome != SecretOutcome::notFound) {
        if (auto newest = std::exchange(unsaved_, std::nullopt)) keepInFile(*newest);
        setFailure(outcome);
        return;
    }
    keyringAnswered_ = true;
    if (outcome == SecretOutcome::done) {
        keyringKey_ = secret;
    } else {
        keyringKey_.reset();
    }
    keyring = Keyring::inUse;
    if (!unsaved_) unsaved_ = fileKey();
    if (unsaved_ && unsaved_ == keyringKey_) {
        // Already there: only the file's copy is left to go.
        unsaved_.reset();
        preferences_.removeValue(preferencesKey);
    }
    writeNext();
}

void APIKeyStore::writeNext() {
    if (busy_ || !unsaved_) return;
    busy_ = true;
    const std::string key = *unsaved_;
    auto answer = [weak = weak_from_this(), key](SecretOutcome outcome) {
        if (auto self = weak.lock()) self->writeAnswered(key, outcome);
    };
    if (key.empty()) {
        secrets_.erase(answer);
    } else {
        secrets_.write(key, answer);
    }
}

void APIKeyStore::writeAnswered(const std::string& key, SecretOutcome outcome) {
    busy_ = false;
    if (outcome != SecretOutcome::done) {
        if (auto newest = std::exchange(unsaved_, std::nullopt)) keepInFile(*newest);
        setFailure(outcome);
        return;
    }
    keyringAnswered_ = true;
    keyringKey_ = key.empty() ? std::nullopt : std::optional(key);
    keyring = Keyring::inUse;
    if (unsaved_ != key) {
        writeNext();  // a newer key came meanwhile
        return;
    }
    unsaved_.reset();
    // Only now: until the keyring has it, the file's copy is the only one.
    if (fileKey()) {
        preferences_.removeValue(preferencesKey);
        log_.note("API key moved from the preferences file into the keyring");
    }
}

void APIKeyStore::keepInFile(const std::string& key) {
    if (fileKey() != key) preferences_.setString(preferencesKey, key);
}

void APIKeyStore::setFailure(SecretOutcome outcome) {
    struct Failure {
        Keyring state;
        bool* told;  // nothing: the file is simply where keys live here
        const char* logged;
    };
    const Failure failure =
        outcome == SecretOutcome::locked    ? Failure{Keyring::locked, &toldLocked_, "left locked"}
        : outcome == SecretOutcome::refused ? Failure{Keyring::refused, &toldRefused_, "refused"}
        : keyringAnswered_                  ? Failure{Keyring::gone, &toldGone_, "gone"}
                                            : Failure{Keyring::none, nullptr, ""};
    keyring = failure.state;
    if (!failure.told) return;
    keyringAnswered_ = true;
    log_.note(std::string("API key not in the keyring: it is ") + failure.logged);
    if (!std::exchange(*failure.told, true) && onNotice) onNotice(status().detail);
}

PermissionStatus APIKeyStore::status() const {
    switch (keyring.get()) {
        case Keyring::inUse:
            return {say(kTitle), true, say(kInKeyring)};
        case Keyring::reading:
            return {say(kTitle), false, say(kReading)};
        default:
            break;
    }
    // Left locked with nothing in the file, the key can only be in the keyring.
    const bool unreadable = keyring == Keyring::locked && isKeyOutOfReach();
    return {say(kTitle), false,
            withArguments(say(SAYVO_TEXT("APIKeyStore", "%1，%2")),
                          {say(cause(keyring)), say(unreadable ? kUnreadable : kInFile)})};
}

}  // namespace sayvo
