// The rule extensions in kbconf.ini: they come back whole, they leave the
// records of kbconf.ini exactly as a reader of those alone expects, and a copy
// that ignores them loses nothing else.
#include "store/ruleextensions.h"

#include <gtest/gtest.h>

#include "store/configfile.h"

namespace {

kb::ruleacondrec Pattern(kb::ConditionKind kind, std::string pattern, bool matchCase = false) {
    kb::ruleacondrec c;
    c.rcond = kind;
    c.pattern = std::move(pattern);
    c.matchCase = matchCase;
    return c;
}

kb::ServiceStore ExtendedStore() {
    kb::ServiceStore store;
    store.InitServiceTable([](std::uint8_t) { return std::string("/share"); });
    kb::RuleRec plain;
    plain.rulename = "plain";
    plain.enabled = true;
    kb::ruleactionrec del;
    del.raction = kb::actDelete;
    plain.actions = {del};

    kb::RuleRec r;
    r.rulename = "sort";
    r.enabled = true;
    kb::ruleacondrec ext;
    ext.fileext.ext = "mp3";
    kb::ruleacondrec size;
    size.rcond = kb::condSize;
    size.rnum = kb::cmpGreater;
    size.size = 100;
    r.conds = {Pattern(kb::condNameWildcard, "*live*"), ext,
               Pattern(kb::condNameRegex, "^(a|b) [0-9]+ = x$", true), size};
    kb::ruleactionrec move;
    move.raction = kb::actMove;
    move.move.filepath = "/music/{year}/{month}";
    move.newname = "{name} ({counter}).{ext}";
    move.conflict = kb::ConflictMode::KeepBoth;
    kb::ruleactionrec rename;
    rename.raction = kb::actRename;
    rename.newname = "{year}-{file}";
    rename.conflict = kb::ConflictMode::TrashOld;
    kb::ruleactionrec copy;
    copy.raction = kb::actCopy;
    copy.copy.filepath = "/backup";
    r.actions = {rename, move, copy};

    // An upload over SFTP with its own key, one over TLS with an accepted
    // key and its password in the secret store.
    kb::RuleRec up;
    up.rulename = "upload";
    kb::ruleactionrec sftp;
    sftp.raction = kb::actFtp;
    sftp.ftp.ftpserver = "sftp://files.example.org";
    sftp.ftp.ftpport = 22;
    sftp.ftp.keyFile = "/home/me/.ssh/upload key";
    kb::ruleactionrec tls = sftp;
    tls.ftp.ftpserver = "ftpes://files.example.org";
    tls.ftp.keyFile.clear();
    tls.ftp.pinnedKey = "sha256//byIEgP/8Yce+3TxBsEXRKtMjoIw+gplEO//izFJwmk8=";
    tls.ftp.passwordInKeyring = true;
    up.actions = {sftp, tls};
    store.ServiceTable[2].rulelist.rules = {plain, r, up};
    return store;
}

std::vector<std::string> Warnings;
const kb::ConfigWarning kCollect = [](const std::string& t) { Warnings.push_back(t); };

TEST(RuleExtensions, ComeBackWholeInOrderAndTheFileIsStable) {
    const kb::ServiceStore store = ExtendedStore();
    const std::string text = kb::FormatConfigFile(store);
    Warnings.clear();
    kb::ServiceStore back;
    bool skipped = true;
    ASSERT_EQ(kb::ReadConfigText(text, back, kCollect, &skipped), 0);
    EXPECT_FALSE(skipped);
    EXPECT_TRUE(Warnings.empty());
    EXPECT_EQ(back.ServiceTable[2].rulelist, store.ServiceTable[2].rulelist);
    EXPECT_EQ(kb::FormatConfigFile(back), text);
    // Positions count the whole list; the section names service 3, rule 2.
    EXPECT_NE(text.find("[Extension 3.2]\r\ncondition.0=wildcard *live*\r\n"
                        "condition.2=regex-case ^(a|b) [0-9]+ = x$\r\naction.0=rename\r\n"),
              std::string::npos);
    EXPECT_EQ(text.find("[Extension 3.1]"), std::string::npos) << "a plain rule gets no block";
    EXPECT_NE(text.find("[Extension 3.3]\r\nkeyfile.0=/home/me/.ssh/upload key\r\n"
                        "pin.1=sha256//byIEgP/8Yce+3TxBsEXRKtMjoIw+gplEO//izFJwmk8=\r\n"
                        "password.1=keyring\r\n"),
              std::string::npos);
}

TEST(RuleExtensions, TheRecordsAloneAreWhatAReaderOfThemExpectsAndLoseOnlyTheExtensions) {
    const std::string text = kb::FormatConfigFile(ExtendedStore());
    // What a copy that knows only the records reads, and writes back.
    const std::string records = text.substr(0, text.find(kb::kRuleExtensionsHeader));
    kb::ServiceStore old;
    bool skipped = true;
    ASSERT_EQ(kb::ReadConfigText(records, old, {}, &skipped), 0);
    EXPECT_FALSE(skipped);
    const kb::RuleRec& r = old.ServiceTable[2].rulelist.rules[1];
    ASSERT_EQ(r.conds.size(), 2u);
    EXPECT_EQ(r.conds[0].rcond, kb::condExtension);
    EXPECT_EQ(r.conds[1].rcond, kb::condSize);
    ASSERT_EQ(r.actions.size(), 2u);
    EXPECT_EQ(r.actions[0].move.filepath, "/music/{year}/{month}");
    EXPECT_EQ(r.actions[1].copy.filepath, "/backup");
    // The uploads keep server, port and user; the password is in the store.
    const kb::RuleRec& up = old.ServiceTable[2].rulelist.rules[2];
    ASSERT_EQ(up.actions.size(), 2u);
    EXPECT_EQ(up.actions[1].ftp.ftpserver, "ftpes://files.example.org");
    EXPECT_EQ(up.actions[1].ftp.ftppass, "");
    EXPECT_FALSE(up.actions[1].ftp.passwordInKeyring);
    EXPECT_EQ(kb::FormatConfigFile(old), records);
    EXPECT_EQ(records.find("rcond=5"), std::string::npos);
    EXPECT_EQ(records.find("raction=5"), std::string::npos);
}

TEST(RuleExtensions, LinesThatNameNothingArePassedOverWithAWarning) {
    std::string text = kb::FormatConfigFile(ExtendedStore());
    text +=
        "[Extension 3.2]\r\nconflict.9=skip\r\n"   // no such action
        "condition.1=glob *.x\r\n"                 // no such kind
        "[Extension 40.1]\r\nname.0=x\r\n"         // no such service
        "[Extension 3.1]\r\nconflict.0=skip\r\n";  // taken
    Warnings.clear();
    kb::ServiceStore back;
    bool skipped = false;
    ASSERT_EQ(kb::ReadConfigText(text, back, kCollect, &skipped), 0);
    EXPECT_TRUE(skipped) << "the start-up keeps a backup of a file it could not read whole";
    EXPECT_EQ(Warnings.size(), 3u);
    EXPECT_EQ(back.ServiceTable[2].rulelist.rules[0].actions[0].conflict, kb::ConflictMode::Skip);
    EXPECT_EQ(back.ServiceTable[2].rulelist.rules[1].conds.size(), 4u);
}

TEST(RuleExtensions, EveryConflictWordReadsBack) {
    for (kb::ConflictMode m :
         {kb::ConflictMode::Replace, kb::ConflictMode::Skip, kb::ConflictMode::KeepBoth,
          kb::ConflictMode::ReplaceOlder, kb::ConflictMode::TrashOld}) {
        kb::ConflictMode back{};
        ASSERT_TRUE(kb::ParseConflictWord(kb::ConflictWord(m), back));
        EXPECT_EQ(back, m);
    }
    kb::ConflictMode unused{};
    EXPECT_FALSE(kb::ParseConflictWord("Replace", unused));
}

}  // namespace
