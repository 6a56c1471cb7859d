#include "platform/regfile.h"

#include <gtest/gtest.h>

#include <random>

namespace kb {
namespace {

RegValue Text(const std::string& s, std::uint32_t kind = kindText) {
    RegValue v;
    v.kind = kind;
    v.text = s;
    return v;
}

RegValue Dword(std::uint32_t d) {
    RegValue v;
    v.kind = kindDword;
    v.dword = d;
    return v;
}

RegValue Bytes(const std::string& b, std::uint32_t kind = kindBinary) {
    RegValue v;
    v.kind = kind;
    v.bytes = b;
    return v;
}

TEST(RegFile, EveryValueTypeSurvivesAWriteAndReadBack) {
    std::string allBytes;
    for (int i = 0; i < 256; ++i) allBytes.push_back(static_cast<char>(i));
    const std::vector<std::pair<std::string, RegValue>> values = {
        {"DownloadDir", Text("C:\\Music\\\"quoted\"\\")},
        {"Empty", Text("")},
        {"", Text("default value")},
        {"Expand", Text("%USERPROFILE%\\Müsic \xF0\x9F\x8E\xB5", kindExpandText)},
        {"Lines", Text("first\nsecond\r\nthird")},
        {"AutoStart", Dword(1)},
        {"Max", Dword(0xffffffffu)},
        {"Blob", Bytes(allBytes)},
        {"NoBytes", Bytes("")},
        {"Multi", Bytes(std::string("a\0b\0\0", 5), 7)},
        {"Name with \"quote\" and \\", Text("x")},
    };
    RegDocument doc;
    RegKey& key = doc.Ensure("HKEY_LOCAL_MACHINE\\SOFTWARE\\Kestrelbox\\Main");
    for (const auto& [n, v] : values) key.Set(n, v);

    const std::string text = doc.Serialize();
    const RegDocument back = RegDocument::Parse(text);
    const RegKey* k = back.Find("HKEY_LOCAL_MACHINE\\SOFTWARE\\Kestrelbox\\Main");
    ASSERT_NE(k, nullptr);
    ASSERT_EQ(k->values.size(), values.size());
    for (const auto& [n, v] : values) {
        const RegValue* got = k->Find(n);
        ASSERT_NE(got, nullptr) << n;
        EXPECT_EQ(*got, v) << n;
    }
    // The parent exists as a key of its own, as the system would show it.
    EXPECT_NE(back.Find("HKEY_LOCAL_MACHINE\\SOFTWARE\\Kestrelbox"), nullptr);
}

TEST(RegFile, WritesTheExportFormat) {
    RegDocument doc;
    RegKey& key = doc.Ensure("HKEY_LOCAL_MACHINE\\SOFTWARE\\Kestrelbox");
    key.Set("AutoStart", Dword(1));
    key.Set("DownloadDir", Text("C:\\Music"));
    key.Set("Path", Text("%TEMP%", kindExpandText));
    key.Set("Raw", Bytes("\x01\xff"));
    const std::string text = doc.Serialize();
    EXPECT_EQ(text.rfind("Windows Registry Editor Version 5.00\n", 0), 0u) << text;
    EXPECT_NE(text.find("\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kestrelbox]\n"), std::string::npos);
    EXPECT_NE(text.find("\n\"AutoStart\"=dword:00000001\n"), std::string::npos);
    EXPECT_NE(text.find("\n\"DownloadDir\"=\"C:\\\\Music\"\n"), std::string::npos);
    EXPECT_NE(text.find("\n\"Path\"=hex(2):25,00,54,00,45,00,4d,00,50,00,25,00,00,00\n"),
              std::string::npos);
    EXPECT_NE(text.find("\n\"Raw\"=hex:01,ff\n"), std::string::npos);
    EXPECT_EQ(text.find("[HKEY_LOCAL_MACHINE]"), std::string::npos);
}

TEST(RegFile, ReadsAnExportWrittenElsewhere) {
    const std::string text =
        "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n"
        "\r\n"
        "; a comment\r\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\KaZaA\\LocalContent]\r\n"
        "\"DownloadDir\"=\"D:\\\\Shared\"\r\n"
        "\"Wrapped\"=hex:00,01,02,\\\r\n"
        "  03,04\r\n"
        "\"Gone\"=\"soon\"\r\n"
        "\"Gone\"=-\r\n"
        "\"Number\"=dword:0000002A\r\n"
        "@=\"default\"\r\n"
        "\r\n"
        "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Removed]\r\n"
        "\"Orphan\"=\"ignored\"\r\n";
    const RegDocument doc = RegDocument::Parse(text);
    const RegKey* k = doc.Find("hkey_local_machine\\software\\kazaa\\localcontent");
    ASSERT_NE(k, nullptr);
    EXPECT_EQ(k->Find("downloaddir")->text, "D:\\Shared");
    EXPECT_EQ(k->Find("Wrapped")->bytes, std::string("\x00\x01\x02\x03\x04", 5));
    EXPECT_EQ(k->Find("Gone"), nullptr);
    EXPECT_EQ(k->Find("Number")->dword, 42u);
    EXPECT_EQ(k->Find("")->text, "default");
    EXPECT_EQ(doc.Find("HKEY_LOCAL_MACHINE\\SOFTWARE\\Removed"), nullptr);
}

TEST(RegFile, UnsoundLinesAreSkippedAndTheRestKept) {
    const std::string text =
        "garbage before the header\n"
        "\"Loose\"=\"no key yet\"\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kestrelbox]\n"
        "\"Good1\"=dword:00000001\n"
        "\"Unterminated=\"abc\n"
        "\"TooLong\"=dword:123456789\n"
        "\"BadHex\"=hex:0g,01\n"
        "\"Trailing\"=\"abc\" junk\n"
        "\"NoEquals\" \"abc\"\n"
        "\"HexDword\"=hex(4):01,02\n"
        "[not a root\\Key]\n"
        "\"Lost\"=dword:00000001\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kestrelbox\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\kestrelbox]\n"
        "\"Good2\"=\"two\"\n";
    const RegDocument doc = RegDocument::Parse(text);
    // Only the sound key and its parent exist; the values of the unsound
    // section went with it.
    ASSERT_EQ(doc.Keys().size(), 2u);
    EXPECT_EQ(doc.Keys()[0].path, "HKEY_LOCAL_MACHINE\\SOFTWARE");
    EXPECT_TRUE(doc.Keys()[0].values.empty());
    const RegKey& k = doc.Keys()[1];
    ASSERT_EQ(k.values.size(), 2u);
    EXPECT_EQ(k.Find("Good1")->dword, 1u);
    EXPECT_EQ(k.Find("Good2")->text, "two");
}

TEST(RegFile, RandomDamageNeverBreaksTheReader) {
    RegDocument doc;
    RegKey& key = doc.Ensure("HKEY_LOCAL_MACHINE\\SOFTWARE\\Kestrelbox");
    key.Set("AutoStart", Dword(1));
    key.Set("Text", Text("a\\b\"c"));
    key.Set("Expand", Text("x", kindExpandText));
    key.Set("Blob", Bytes("\x01\x02\x03"));
    const std::string good = doc.Serialize();
    std::mt19937 rng(12345);
    for (int round = 0; round < 2000; ++round) {
        std::string damaged = good;
        const int edits = 1 + static_cast<int>(rng() % 6);
        for (int e = 0; e < edits; ++e) {
            const std::size_t at = rng() % (damaged.size() + 1);
            switch (rng() % 3) {
                case 0:
                    damaged.insert(at, 1, static_cast<char>(rng()));
                    break;
                case 1:
                    if (at < damaged.size()) damaged.erase(at, 1 + rng() % 8);
                    break;
                default:
                    damaged = damaged.substr(0, at);
            }
        }
        const RegDocument parsed = RegDocument::Parse(damaged);
        // Whatever was read can be written again and reads back the same.
        const RegDocument again = RegDocument::Parse(parsed.Serialize());
        ASSERT_EQ(again.Keys().size(), parsed.Keys().size());
        for (std::size_t i = 0; i < parsed.Keys().size(); ++i)
            ASSERT_EQ(again.Keys()[i].values, parsed.Keys()[i].values);
    }
}

// Found by the fuzzer: a raw NUL inside a quoted string made the text longer
// than what its encoded form gives back, so saving and loading lost its tail.
TEST(RegFile, TextEndsAtItsFirstNulWhetherQuotedOrSet) {
    static const char raw[] =
        "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\S]\n"
        "\"Quote\"=\"sa\x01\0\0\r\\\"\"\n";
    const std::string text(raw, sizeof raw - 1);
    const RegDocument doc = RegDocument::Parse(text);
    ASSERT_NE(doc.Find("HKEY_LOCAL_MACHINE\\S"), nullptr);
    EXPECT_EQ(doc.Find("HKEY_LOCAL_MACHINE\\S")->Find("Quote")->text, "sa\x01");
    const RegDocument again = RegDocument::Parse(doc.Serialize());
    EXPECT_EQ(again.Find("HKEY_LOCAL_MACHINE\\S")->Find("Quote")->text, "sa\x01");

    RegDocument set;
    RegValue line;
    line.text = std::string("a\r\nb\0c", 6);
    set.Ensure("HKEY_LOCAL_MACHINE\\S").Set("Line", line);
    const RegDocument back = RegDocument::Parse(set.Serialize());
    EXPECT_EQ(back.Find("HKEY_LOCAL_MACHINE\\S")->Find("Line")->text, "a\r\nb");
}

// Found by the fuzzer: a folder name that is not UTF-8 (Latin-1 "Müsik") and
// holds a line break must take the encoded form, which turned the stray byte
// into U+FFFD; it now comes back byte for byte, in both text kinds.
TEST(RegFile, TextThatIsNotUtf8SurvivesTheEncodedForm) {
    // Also a surrogate encoded as UTF-8, an overlong "M" and a whole emoji.
    const std::string folder = "/srv/M\xFCsik\nnew\xED\xB0\x80 \xC1\x8D \xF0\x9F\x8E\xB5";
    for (const std::uint32_t kind : {std::uint32_t{kindText}, std::uint32_t{kindExpandText}}) {
        RegDocument doc;
        RegValue v;
        v.kind = kind;
        v.text = folder;
        doc.Ensure("HKEY_LOCAL_MACHINE\\S").Set("Dir", v);
        const std::string saved = doc.Serialize();
        EXPECT_NE(saved.find("=hex("), std::string::npos) << saved;
        const RegDocument back = RegDocument::Parse(saved);
        EXPECT_EQ(back.Find("HKEY_LOCAL_MACHINE\\S")->Find("Dir")->text, folder);
    }
}

}  // namespace
}  // namespace kb
