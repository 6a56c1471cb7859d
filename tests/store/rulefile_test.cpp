// The rule file people write by hand: the documented example reads without
// an error and covers every kind, export -> import -> export gives the same
// bytes, and a file with mistakes names each one by line and column and
// changes nothing.
#include "store/rulefile.h"

#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>

#include "store/configfile.h"

namespace {

std::string Example() {
    std::ifstream in(std::string(KB_SOURCE_DIR) + "/docs/rules-example.toml");
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(RuleFile, TheDocumentedExampleCoversEveryKindAndComesBackByteForByte) {
    kb::ServiceStore store;
    store.SmtpServer = "mail.example.org";
    const auto errors = kb::ParseRuleFile(Example(), store);
    for (const auto& e : errors) ADD_FAILURE() << e.line << ":" << e.column << ": " << e.text;
    ASSERT_TRUE(errors.empty());
    EXPECT_EQ(store.SmtpServer, "mail.example.org") << "the mail settings are not the file's";
    ASSERT_EQ(store.ServiceCount(), 7) << "the six networks and one additional service";
    EXPECT_EQ(kb::ServiceName(store.ServiceTable[6]), "Transmission daemon");

    std::set<kb::TriggerKind> triggers;
    std::set<kb::ConditionKind> conditions;
    std::set<kb::ActionKind> actions;
    for (const kb::rServiceRules& s : store.ServiceTable)
        for (const kb::RuleRec& r : s.rulelist.rules) {
            triggers.insert(r.mcond);
            for (const auto& c : r.conds) conditions.insert(c.rcond);
            for (const auto& a : r.actions) actions.insert(a.raction);
        }
    EXPECT_EQ(triggers.size(), 3u) << "new file, file count, total size (file-exists never acts)";
    EXPECT_EQ(conditions.size(), 7u);
    EXPECT_EQ(actions.size(), 6u);
    const kb::RuleRec& sort = store.ServiceTable[0].rulelist.rules[0];
    EXPECT_EQ(sort.actions[0].conflict, kb::ConflictMode::KeepBoth);
    EXPECT_EQ(sort.actions[0].newname, "{name} ({counter}).{ext}");
    EXPECT_EQ(store.ServiceTable[6].rulelist.rules[0].actions[0].conflict,
              kb::ConflictMode::TrashOld)
        << "a rule written by hand never overwrites unless it says so";

    // Through kbconf.ini and back: the same rule file, byte for byte.
    const std::string exported = kb::FormatRuleFile(store);
    kb::ServiceStore viaIni;
    ASSERT_EQ(kb::ReadConfigText(kb::FormatConfigFile(store), viaIni, {}), 0);
    kb::ServiceStore again;
    ASSERT_TRUE(kb::ParseRuleFile(kb::FormatRuleFile(viaIni), again).empty());
    EXPECT_EQ(kb::FormatRuleFile(again), exported);
}

TEST(RuleFile, EveryMistakeIsNamedByLineAndColumnAndNothingChanges) {
    const std::string text =
        "version = 1\n"
        "[[service]]\n"
        "network = \"kazza\"\n"
        "[[service]]\n"
        "network = \"kazaa\"\n"
        "  [[service.rule]]\n"
        "  name = \"r\"\n"
        "  when = \"file-count\"\n"
        "    [[service.rule.action]]\n"
        "    kind = \"copy\"\n"
        "    foldr = \"/x\"\n"
        "    if-exists = \"overwrite\"\n";
    kb::ServiceStore store;
    store.InitServiceTable(nullptr);
    const std::string before = kb::FormatConfigFile(store);
    const auto errors = kb::ParseRuleFile(text, store, {});
    std::vector<std::string> got;
    for (const auto& e : errors)
        got.push_back(std::to_string(e.line) + ":" + std::to_string(e.column) + " " +
                      e.text.substr(0, e.text.find(" (")));
    EXPECT_EQ(got, (std::vector<std::string>{
                       "3:11 unknown network \"kazza\"",
                       "6:3 this rule needs \"limit\"",
                       "11:13 unknown key \"foldr\" in a move or copy",
                       "9:5 a move or copy needs \"folder\"",
                       "12:17 \"if-exists\" must be \"trash-old\", \"keep-both\", \"skip\", "
                       "\"replace-older\" or \"replace\"",
                   }));
    EXPECT_EQ(kb::FormatConfigFile(store), before);

    const auto syntax = kb::ParseRuleFile("[[service]\n", store);
    ASSERT_EQ(syntax.size(), 1u);
    EXPECT_EQ(syntax[0].line, 1);
    EXPECT_NE(syntax[0].text.find("expected ']'"), std::string::npos) << syntax[0].text;

    // A check the caller adds (a pattern that does not compile) points at its table.
    kb::RuleFileChecks checks;
    checks.condition = [](const kb::ruleacondrec& c) {
        return c.pattern == "(" ? std::string("missing )") : std::string();
    };
    const auto checked = kb::ParseRuleFile(
        "[[service]]\nnetwork = \"kazaa\"\n[[service.rule]]\nname = \"r\"\nwhen = \"new-file\"\n"
        "[[service.rule.condition]]\nkind = \"regex\"\npattern = \"(\"\n"
        "[[service.rule.action]]\nkind = \"delete\"\n",
        store, checks);
    ASSERT_EQ(checked.size(), 1u);
    EXPECT_EQ(checked[0].line, 6);
    EXPECT_EQ(checked[0].text, "missing )");
}

}  // namespace
