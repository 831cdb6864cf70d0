#include <gtest/gtest.h>

#include <map>
#include <string>

#include "core/UiLanguage.h"
#include "platform/Translations.h"

namespace sayvo {

TEST(UiLanguageTest, TheDesktopsVariablesChooseInTheirOrder) {
    using Env = std::map<std::string, std::string>;
    constexpr auto zh = UiLanguage::chinese, en = UiLanguage::english;
    const std::pair<Env, UiLanguage> cases[] = {
        {{}, en},
        {{{"LANG", "zh_CN.UTF-8"}}, zh},
        {{{"LANG", "zh_TW.UTF-8"}}, zh},
        {{{"LANG", "C"}}, en},
        {{{"LANG", "de_DE.UTF-8"}}, en},
        {{{"LANG", "zh_CN.UTF-8"}, {"LC_MESSAGES", "POSIX"}}, en},
        {{{"LANG", "en_US.UTF-8"}, {"LC_MESSAGES", ""}, {"LC_ALL", "zh_CN.UTF-8"}}, zh},
        {{{"LC_ALL", "en_US.UTF-8"}, {"LANGUAGE", "fr:zh_CN:en"}}, zh},
        {{{"LANG", "zh_CN.UTF-8"}, {"LANGUAGE", "fr:de"}}, zh},
        {{{"LANG", "zh_CN.UTF-8"}, {"LANGUAGE", "en_GB:zh"}}, en},
        {{{"LANG", "zh_CN.UTF-8"}, {"LANGUAGE", ""}}, zh}};
    for (const auto& [env, language] : cases) {
        const auto variable = [&env](const char* name) -> const char* {
            const auto it = env.find(name);
            return it == env.end() ? nullptr : it->second.c_str();
        };
        EXPECT_EQ(uiLanguage(variable), language) << (env.empty() ? "" : env.begin()->second);
    }
}

TEST(TranslationsTest, TemplatesTakeTheirPiecesWhereverTheTranslationPutsThem) {
    const struct {
        const char* pattern;
        std::initializer_list<std::string> arguments;
        const char* text;
    } cases[] = {{"添加到 %1 快捷键", {"GNOME"}, "添加到 GNOME 快捷键"},
                 {"%2, then %1", {"a", "b"}, "b, then a"},
                 {"100% %1", {"%2"}, "100% %2"},
                 {"%3 %", {"a"}, "%3 %"}};
    for (const auto& c : cases) EXPECT_EQ(withArguments(c.pattern, c.arguments), c.text);
}

}  // namespace sayvo
