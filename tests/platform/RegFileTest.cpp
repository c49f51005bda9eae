// The .reg file reader (POSIX): which texts give which values, and that every malformed
// line only loses what it would have held.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "platform/registry.h"
#include "platform/registry_testing.h"
#include "tests/support/TestFiles.h"

namespace {

using namespace qds::plat;
using qds::plat::testing::CScopedRegistry;

const std::string kHead = "Windows Registry Editor Version 5.00\n\n";
const std::string kKeyLine = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ScannerConfig\\JposScanner]\n";
const char* const kKey = "SOFTWARE\\ScannerConfig\\JposScanner";

struct Result {
    bool found = false;
    std::string bytes;
    uint32_t type = 0;
};

Result Query(const char* key, const char* name, bool wide) {
    Result r;
    RegHandle h = nullptr;
    if (!RegOpen(RegRootLocalMachine(), key, RegView::View32, &h)) return r;
    char buf[64];
    uint32_t size = sizeof buf;
    r.found =
        wide ? RegQueryW(h, name, buf, &size, &r.type) : RegQueryA(h, name, buf, &size, &r.type);
    if (r.found) r.bytes.assign(buf, size);
    RegClose(h);
    return r;
}

std::string Z(const char* s, size_t n) {
    return std::string(s, n);
}

struct Case {
    const char* what;
    std::string text;
    const char* name;
    bool wide;
    bool found;
    std::string bytes;
    uint32_t type;
};

class RegFile : public ::testing::Test {
  protected:
    CScopedRegistry m_reg;
    void Write(const std::string& text) {
        testing_support::WriteBytes(CScopedRegistry::BackingFile(), text);
    }
};

TEST_F(RegFile, GoodInputs) {
    const Case cases[] = {
        {"string, 8-bit", kHead + kKeyLine + "\"LogFileFullPath\"=\"C:\\\\logs\\\\a.log\"\n",
         "LogFileFullPath", false, true, Z("C:\\logs\\a.log\0", 14), kRegSz},
        {"string, wide", kHead + kKeyLine + "\"P\"=\"ab\"\n", "P", true, true, Z("a\0b\0\0\0", 6),
         kRegSz},
        {"escaped quote", kHead + kKeyLine + "\"P\"=\"say \\\"hi\\\"\"\n", "P", false, true,
         Z("say \"hi\"\0", 9), kRegSz},
        {"empty string", kHead + kKeyLine + "\"P\"=\"\"\n", "P", false, true, Z("\0", 1), kRegSz},
        {"dword", kHead + kKeyLine + "\"LogLevel\"=dword:0000000a\n", "LogLevel", true, true,
         Z("\x0a\0\0\0", 4), kRegDword},
        {"dword, 8-bit call", kHead + kKeyLine + "\"LogLevel\"=dword:0000000a\n", "LogLevel", false,
         true, Z("\x0a\0\0\0", 4), kRegDword},
        {"dword, short and upper case", kHead + kKeyLine + "\"N\"=DWORD:FFfe\n", "N", true, true,
         Z("\xfe\xff\0\0", 4), kRegDword},
        {"REGEDIT4 header", "REGEDIT4\n\n" + kKeyLine + "\"N\"=dword:00000005\n", "N", true, true,
         Z("\x05\0\0\0", 4), kRegDword},
        {"names compare case-insensitively",
         kHead +
             "[hkey_local_machine\\software\\SCANNERCONFIG\\jposscanner]\n\"LOGLEVEL\"=dword:1\n",
         "LogLevel", true, true, Z("\x01\0\0\0", 4), kRegDword},
        {"comments, blank lines, CR LF, indentation",
         "\r\n" + std::string("Windows Registry Editor Version 5.00\r\n; a comment\r\n\r\n") +
             "  [HKEY_LOCAL_MACHINE\\SOFTWARE\\ScannerConfig\\JposScanner]  \r\n; another\r\n"
             "  \"N\"=dword:00000003\r\n",
         "N", true, true, Z("\x03\0\0\0", 4), kRegDword},
        {"the last of two values wins, sections merge",
         kHead + kKeyLine + "\"N\"=dword:1\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Other]\n" + kKeyLine +
             "\"n\"=dword:2\n",
         "N", true, true, Z("\x02\0\0\0", 4), kRegDword},
        {"hex", kHead + kKeyLine + "\"B\"=hex:01,02,ff\n", "B", false, true, Z("\x01\x02\xff", 3),
         3},
        {"hex over continued lines", kHead + kKeyLine + "\"B\"=hex:01,02,\\\n  03,04\n", "B", true,
         true, Z("\x01\x02\x03\x04", 4), 3},
        {"hex(4) as a dword", kHead + kKeyLine + "\"N\"=hex(4):05,00,00,00\n", "N", true, true,
         Z("\x05\0\0\0", 4), kRegDword},
        {"hex(2) is UTF-16 in a 5.00 file, 8-bit for the 8-bit call",
         kHead + kKeyLine + "\"E\"=hex(2):41,00,42,00,00,00\n", "E", false, true, Z("AB\0", 3), 2},
        {"hex(2) wide", kHead + kKeyLine + "\"E\"=hex(2):41,00,42,00,00,00\n", "E", true, true,
         Z("A\0B\0\0\0", 6), 2},
        {"default value", kHead + kKeyLine + "@=\"d\"\n", "", false, true, Z("d\0", 2), kRegSz},
        {"UTF-8 byte order mark", "\xEF\xBB\xBF" + kHead + kKeyLine + "\"N\"=dword:9\n", "N", true,
         true, Z("\x09\0\0\0", 4), kRegDword},
        {"UTF-8 text widened", kHead + kKeyLine + "\"P\"=\"\xC3\xA9\"\n", "P", true, true,
         Z("\xE9\0\0\0", 4), kRegSz},
        {"UTF-8 text as stored for the 8-bit call", kHead + kKeyLine + "\"P\"=\"\xC3\xA9\"\n", "P",
         false, true, Z("\xC3\xA9\0", 3), kRegSz},
        {"a bad line does not hide the good lines after it",
         kHead + kKeyLine + "\"Bad\"=dword:zz\ngarbage\n\"Good\"=dword:2\n", "Good", true, true,
         Z("\x02\0\0\0", 4), kRegDword},
        {"the same name in another key is another value",
         kHead + "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Other]\n\"N\"=dword:1\n" + kKeyLine +
             "\"N\"=dword:2\n",
         "N", true, true, Z("\x02\0\0\0", 4), kRegDword},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Write(c.text);
        const Result r = Query(kKey, c.name, c.wide);
        ASSERT_EQ(r.found, c.found);
        EXPECT_EQ(r.bytes, c.bytes);
        EXPECT_EQ(r.type, c.type);
    }
}

TEST_F(RegFile, UnicodeFileAsRegeditWritesIt) {
    const std::string text = kHead + kKeyLine + "\"P\"=\"C:\\\\x.log\"\n";
    std::string utf16 = "\xFF\xFE";
    for (char c : text) {
        utf16 += c;
        utf16 += '\0';
    }
    Write(utf16);
    const Result r = Query(kKey, "P", false);
    ASSERT_TRUE(r.found);
    EXPECT_EQ(r.bytes, Z("C:\\x.log\0", 9));
}

TEST_F(RegFile, MalformedInputsAreNotFound) {
    const Case cases[] = {
        {"no header", kKeyLine + "\"N\"=dword:1\n", "N", true, false, "", 0},
        {"wrong header", "Windows Registry Editor Version 4.00\n" + kKeyLine + "\"N\"=dword:1\n",
         "N", true, false, "", 0},
        {"unterminated string", kHead + kKeyLine + "\"N\"=\"abc\n", "N", false, false, "", 0},
        {"unknown escape", kHead + kKeyLine + "\"N\"=\"a\\qb\"\n", "N", false, false, "", 0},
        {"lone backslash at the end", kHead + kKeyLine + "\"N\"=\"ab\\\"\n", "N", false, false, "",
         0},
        {"junk after a string", kHead + kKeyLine + "\"N\"=\"ab\" x\n", "N", false, false, "", 0},
        {"nine dword digits", kHead + kKeyLine + "\"N\"=dword:123456789\n", "N", true, false, "",
         0},
        {"dword not hex", kHead + kKeyLine + "\"N\"=dword:12g4\n", "N", true, false, "", 0},
        {"dword without digits", kHead + kKeyLine + "\"N\"=dword:\n", "N", true, false, "", 0},
        {"negative dword", kHead + kKeyLine + "\"N\"=dword:-1\n", "N", true, false, "", 0},
        {"junk after a dword", kHead + kKeyLine + "\"N\"=dword:0000000a x\n", "N", true, false, "",
         0},
        {"unquoted name", kHead + kKeyLine + "N=dword:1\n", "N", true, false, "", 0},
        {"no equals sign", kHead + kKeyLine + "\"N\" dword:1\n", "N", true, false, "", 0},
        {"no data", kHead + kKeyLine + "\"N\"=\n", "N", true, false, "", 0},
        {"unknown data form", kHead + kKeyLine + "\"N\"=qword:1\n", "N", true, false, "", 0},
        {"bad hex byte", kHead + kKeyLine + "\"N\"=hex:01,zz\n", "N", true, false, "", 0},
        {"three-digit hex byte", kHead + kKeyLine + "\"N\"=hex:100\n", "N", true, false, "", 0},
        {"hex with a trailing comma", kHead + kKeyLine + "\"N\"=hex:01,\n", "N", true, false, "",
         0},
        {"hex type not closed", kHead + kKeyLine + "\"N\"=hex(4:01\n", "N", true, false, "", 0},
        {"value before any key", kHead + "\"N\"=dword:1\n" + kKeyLine, "N", true, false, "", 0},
        {"values below a malformed key line",
         kHead + "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ScannerConfig\\JposScanner\n\"N\"=dword:1\n", "N",
         true, false, "", 0},
        {"a malformed key line ends the key before it",
         kHead + kKeyLine + "[HKEY_LOCAL_MACHINE\\SOFTWARE\\x]]\n\"N\"=dword:1\n", "N", true, false,
         "", 0},
        {"another root",
         kHead + "[HKEY_CURRENT_USER\\SOFTWARE\\ScannerConfig\\JposScanner]\n" + "\"N\"=dword:1\n",
         "N", true, false, "", 0},
        {"deleted value", kHead + kKeyLine + "\"N\"=dword:1\n\"N\"=-\n", "N", true, false, "", 0},
        {"deleted key",
         kHead + kKeyLine + "\"N\"=dword:1\n[-HKEY_LOCAL_MACHINE\\SOFTWARE\\ScannerConfig]\n", "N",
         true, false, "", 0},
        {"binary garbage", kHead + kKeyLine + std::string("\"N\"=\0\x01\x02\xff\n", 9), "N", true,
         false, "", 0},
        {"empty file", "", "N", true, false, "", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Write(c.text);
        const Result r = Query(kKey, c.name, c.wide);
        EXPECT_FALSE(r.found);
    }
}

// A hex value whose last line ends in '\' right before a key line: the value is malformed and
// lost, but the key line still opens its key, so the values below it land where they belong.
TEST_F(RegFile, AKeyLineEndsAHexContinuation) {
    const char* const kUdpKey = "SOFTWARE\\Tavrix\\udp";
    for (const char* eol : {"\n", "\r\n"}) {
        SCOPED_TRACE(eol[0] == '\r' ? "CR LF" : "LF");
        const std::string e = eol;
        Write(kHead + kKeyLine + "\"x\"=hex:01,\\" + e +
              "  [HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavrix\\udp]" + e + "\"Local\"=\"1.2.3.4:5\"" + e +
              "\"y\"=hex:0a,\\" + e + "  0b" + e);
        const Result local = Query(kUdpKey, "Local", false);
        ASSERT_TRUE(local.found);
        EXPECT_EQ(Z("1.2.3.4:5\0", 10), local.bytes);
        EXPECT_FALSE(Query(kKey, "Local", false).found);  // not swallowed into the key above
        EXPECT_FALSE(Query(kKey, "x", false).found);      // the cut value is lost
        const Result y = Query(kUdpKey, "y", true);       // a real continuation still joins
        ASSERT_TRUE(y.found);
        EXPECT_EQ(Z("\x0a\x0b", 2), y.bytes);
    }
}

TEST_F(RegFile, KeysExistWhenListedOrBelowAListedKey) {
    Write(kHead + kKeyLine + "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Empty]\n");
    const struct {
        const char* key;
        bool opens;
    } cases[] = {
        {kKey, true},
        {"SOFTWARE\\ScannerConfig", true},  // implied by its sub-key
        {"SOFTWARE", true},
        {"SOFTWARE\\Empty", true},
        {"\\SOFTWARE\\Empty\\", true},
        {"SOFTWARE\\ScannerConfig\\JposScannerX", false},
        {"SOFTWARE\\ScannerConf", false},
        {"SOFTWARE\\Missing", false},
    };
    for (const auto& c : cases) {
        RegHandle h = nullptr;
        EXPECT_EQ(RegOpen(RegRootLocalMachine(), c.key, RegView::View64, &h), c.opens) << c.key;
        if (h != nullptr) RegClose(h);
    }
}

TEST_F(RegFile, BothViewsReadTheSameFile) {
    Write(kHead + kKeyLine + "\"N\"=dword:00000004\n");
    for (RegView view : {RegView::View32, RegView::View64}) {
        RegHandle h = nullptr;
        ASSERT_TRUE(RegOpen(RegRootLocalMachine(), kKey, view, &h));
        int32_t v = 0;
        uint32_t size = sizeof v;
        EXPECT_TRUE(RegQueryW(h, "N", &v, &size, nullptr));
        EXPECT_EQ(v, 4);
        RegClose(h);
    }
}

TEST_F(RegFile, MissingOrUnreadableFileHasNoKeys) {
    const std::string file = CScopedRegistry::BackingFile();
    std::remove(file.c_str());
    RegHandle h = nullptr;
    EXPECT_FALSE(RegOpen(RegRootLocalMachine(), kKey, RegView::View32, &h));
    // A folder where the file should be cannot be read as one.
    ASSERT_TRUE(std::filesystem::create_directory(file));
    EXPECT_FALSE(RegOpen(RegRootLocalMachine(), kKey, RegView::View32, &h));
    std::filesystem::remove(file);
}

// The file is read at every open: a change shows at the next open, an open key keeps what
// it read.
TEST_F(RegFile, ChangesShowAtTheNextOpen) {
    Write(kHead + kKeyLine + "\"N\"=dword:1\n");
    RegHandle first = nullptr;
    ASSERT_TRUE(RegOpen(RegRootLocalMachine(), kKey, RegView::View32, &first));
    Write(kHead + kKeyLine + "\"N\"=dword:2\n");
    int32_t v = 0;
    uint32_t size = sizeof v;
    ASSERT_TRUE(RegQueryW(first, "N", &v, &size, nullptr));
    EXPECT_EQ(v, 1);
    RegClose(first);
    EXPECT_EQ(Query(kKey, "N", true).bytes, Z("\x02\0\0\0", 4));
}

// What the writer produces, the reader reads; what it does not touch, it keeps.
TEST_F(RegFile, WriterKeepsOtherValuesOfTheFile) {
    Write(kHead + kKeyLine + "\"B\"=hex:01,02\n\"E\"=hex(2):41,00,00,00\n\"S\"=\"a\\\\b\"\n");
    ASSERT_TRUE(m_reg.SetDword(RegView::View32, kKey, "N", 0xA));
    EXPECT_EQ(Query(kKey, "B", true).bytes, Z("\x01\x02", 2));
    EXPECT_EQ(Query(kKey, "E", false).bytes, Z("A\0", 2));
    EXPECT_EQ(Query(kKey, "S", false).bytes, Z("a\\b\0", 4));
    EXPECT_EQ(Query(kKey, "N", true).bytes, Z("\x0a\0\0\0", 4));
}

}  // namespace
