#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "core/Observable.h"
#include "platform/DecisionLog.h"
#include "platform/Preferences.h"
#include "platform/SecretStore.h"
#include "platform/SystemPermissions.h"
#include "platform/Translations.h"

namespace sayvo {

// Where the cloud API key is kept: in the desktop's keyring when one answers,
// else in the owner-only preferences file. A key found in the file is moved
// into the keyring, and leaves the file only once the keyring has confirmed
// it. A key the keyring will not take stays in (or goes to) the file, so no
// failure loses it. Changes are made one at a time, the newest last.
// Thread: main thread only. Make it with create(): keyring answers hold it weakly.
class APIKeyStore : public Observable, public std::enable_shared_from_this<APIKeyStore> {
public:
    static inline const std::string preferencesKey = "AliyunASRAPIKey";

    enum class Keyring {
        unasked,  // load() not called yet: the file alone
        reading,  // the first answer is awaited; an unlock prompt may be up
        inUse,    // the key lives there
        none,     // no keyring service: the file
        locked,   // the user left it locked
        refused,  // it would not read or store the key
        gone,     // it answered once, then went away
    };

    static std::shared_ptr<APIKeyStore> create(Preferences& preferences, SecretStore& secrets,
                                               DecisionLog& log, const Translations& translations);

    Published<Keyring> keyring{*this, Keyring::unasked};
    // Told, once per cause and run, when the key has to stay outside the keyring.
    std::function<void(const std::string&)> onNotice;

    // Asks the keyring for the key, and moves one found in the file into it.
    void load();
    // The key in effect; empty when none is stored or it cannot be read now.
    std::string key() const;
    // A key may be in the keyring but cannot be read yet (unlock prompt up) or
    // now (left locked, refused): a cloud dictation cannot start.
    bool isKeyOutOfReach() const;
    // Why the key cannot be read: for the dictation that could not start.
    std::string outOfReachText() const;
    // Asks the keyring again, as a dictation that found the key out of reach does.
    void retry();
    // Stores a new key; the empty key removes it.
    void setKey(const std::string& key);
    // Where the key is kept, and why, for the panel's status view.
    PermissionStatus status() const;

private:
    APIKeyStore(Preferences& preferences, SecretStore& secrets, DecisionLog& log,
                const Translations& translations)
        : preferences_(preferences), secrets_(secrets), log_(log), translations_(translations) {}
    std::string say(const Text& text) const { return translations_.text(text); }
    void read();
    void readAnswered(SecretOutcome outcome, const std::string& secret);
    void writeNext();
    void writeAnswered(const std::string& key, SecretOutcome outcome);
    void keepInFile(const std::string& key);
    void setFailure(SecretOutcome outcome);
    std::optional<std::string> fileKey() const { return preferences_.stringForKey(preferencesKey); }

    Preferences& preferences_;
    SecretStore& secrets_;
    DecisionLog& log_;
    const Translations& translations_;
    bool busy_ = false;
    bool keyringAnswered_ = false;  // at least once: a later "unavailable" means it went away
    std::optional<std::string> keyringKey_;  // as last read from or written to the keyring
    std::optional<std::string> unsaved_;     // the newest key the keyring has yet to confirm
    bool toldLocked_ = false, toldRefused_ = false, toldGone_ = false;
};

}  // namespace sayvo
