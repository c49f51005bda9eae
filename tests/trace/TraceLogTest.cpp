// The trace log: line layout, level filter, scope indentation, configuration from the
// registry (a fresh CTraceLog per case) and the file's failure cases.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <regex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/process.h"
#include "platform/registry_testing.h"
#include "platform/sync.h"
#include "platform/time.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TraceCapture.h"
#include "trace/TraceLog.h"

namespace {

using qds::CTraceLog;
using qds::CTraceScope;
using qds::g_nTraceDepth;
using qds::plat::RegView;
using qds::plat::testing::CScopedRegistry;
using namespace testing_support;

const char* const kKey = "SOFTWARE\\ScannerConfig\\JposScanner";

// Splits raw file bytes into lines at the platform's line ending; a final partial line is
// returned too, so a missing line ending shows.
std::vector<std::string> SplitLines(const std::string& bytes) {
    const std::string eol = qds::plat::TextLineEnd();
    std::vector<std::string> out;
    size_t at = 0;
    while (at < bytes.size()) {
        const size_t end = bytes.find(eol, at);
        if (end == std::string::npos) {
            out.push_back(bytes.substr(at) + "<no line end>");
            break;
        }
        out.push_back(bytes.substr(at, end - at));
        at = end + eol.size();
    }
    return out;
}

// Date, time with milliseconds, thread id in upper-case hex of at least 4 digits.
const std::regex kPrefix(
    R"(^(\d{4})/(\d{2})/(\d{2}) (\d{2}):(\d{2}):(\d{2})\.(\d{3}) ([0-9A-F]{4,}) )");

std::string Hex4(uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04X", v);
    return buf;
}

// The part after the prefix and the 9-character level name.
std::string MessageOf(const std::string& line) {
    std::smatch m;
    if (!std::regex_search(line, m, kPrefix)) return "<bad prefix>" + line;
    const size_t at = static_cast<size_t>(m.length(0)) + 9;
    return line.size() < at ? "<short>" + line : line.substr(at);
}

class TraceRegistry : public ::testing::Test {
  protected:
    CScopedRegistry m_reg{{{RegView::View32, kKey}}};

    // A log configured from the registry as it stands. The key is removed at once: under
    // Wine the registry is shared with other test processes, whose logs must not pick up
    // this test's settings.
    std::unique_ptr<CTraceLog> Load() {
        auto log = std::make_unique<CTraceLog>();
        m_reg.DeleteKey(RegView::View32, kKey);
        return log;
    }
};

// ---------------------------------------------------------------- line layout

TEST_F(TraceRegistry, LineHasPrefixLevelNameMessageAndPlatformLineEnd) {
    const std::string path = TempFile("kolvex_layout");
    ASSERT_TRUE(m_reg.SetString(RegView::View32, kKey, "LogFileFullPath", path));
    ASSERT_TRUE(m_reg.SetDword(RegView::View32, kKey, "LogLevel", 5));
    const auto logp = Load();
    CTraceLog& log = *logp;
    ASSERT_EQ(log.FilePath(), path);

    const qds::plat::LocalTimeMs before = qds::plat::LocalTimeNow();
    log.Write(qds::level::debug, "value %d and %s", 42, "text");
    const std::string bytes = ReadBytes(path);
    std::remove(path.c_str());

    const std::string eol = qds::plat::TextLineEnd();
    ASSERT_GE(bytes.size(), eol.size());
    EXPECT_EQ(bytes.substr(bytes.size() - eol.size()), eol);
    const auto lines = SplitLines(bytes);
    ASSERT_EQ(lines.size(), 1u);
    const std::string& line = lines[0];

    std::smatch m;
    ASSERT_TRUE(std::regex_search(line, m, kPrefix)) << line;
    EXPECT_EQ(std::stoi(m[1]), before.year);
    EXPECT_GE(std::stoi(m[2]), 1);
    EXPECT_LE(std::stoi(m[2]), 12);
    EXPECT_LE(std::stoi(m[4]), 23);
    EXPECT_LE(std::stoi(m[5]), 59);
    EXPECT_LE(std::stoi(m[6]), 60);
    EXPECT_EQ(m[8].str(), Hex4(qds::plat::CurrentThreadId()));
    EXPECT_EQ(line.substr(static_cast<size_t>(m.length(0))), "[DEBUG]  value 42 and text");
}

TEST_F(TraceRegistry, EveryLevelGetsItsNineCharacterName) {
    const std::string path = TempFile("kolvex_names");
    ASSERT_TRUE(m_reg.SetString(RegView::View32, kKey, "LogFileFullPath", path));
    ASSERT_TRUE(m_reg.SetDword(RegView::View32, kKey, "LogLevel", 100));
    const auto logp = Load();
    CTraceLog& log = *logp;
    const struct {
        int32_t level;
        const char* name;
    } cases[] = {{-1, "[UnKnow] "},
                 {qds::level::off, "[OFF]    "},
                 {qds::level::fatal, "[Fatal]  "},
                 {qds::level::err, "[Error]  "},
                 {qds::level::warn, "[Warn]   "},
                 {qds::level::info, "[INFO]   "},
                 {qds::level::debug, "[DEBUG]  "},
                 {qds::level::detail, "[Detail] "},
                 {7, "[UnKnow] "},
                 {8, "[UnKnow] "},
                 {100, "[UnKnow] "}};
    for (const auto& c : cases) log.Write(c.level, "m");
    const auto lines = SplitLines(ReadBytes(path));
    std::remove(path.c_str());
    ASSERT_EQ(lines.size(), std::size(cases));
    for (size_t i = 0; i < lines.size(); ++i) {
        std::smatch m;
        ASSERT_TRUE(std::regex_search(lines[i], m, kPrefix)) << lines[i];
        EXPECT_EQ(lines[i].substr(static_cast<size_t>(m.length(0))),
                  std::string(cases[i].name) + "m")
            << "level " << cases[i].level;
    }
}

TEST_F(TraceRegistry, LineFeedsInAMessageBecomeThePlatformLineEnd) {
    const std::string path = TempFile("kolvex_eol");
    ASSERT_TRUE(m_reg.SetString(RegView::View32, kKey, "LogFileFullPath", path));
    ASSERT_TRUE(m_reg.SetDword(RegView::View32, kKey, "LogLevel", 5));
    const auto logp = Load();
    CTraceLog& log = *logp;
    log.Write(qds::level::debug, "a\nb");
    const std::string bytes = ReadBytes(path);
    std::remove(path.c_str());
    const std::string eol = qds::plat::TextLineEnd();
    ASSERT_GT(bytes.size(), 29u + 9u);
    EXPECT_EQ(bytes.substr(29 + 9), "a" + eol + "b" + eol);
}

// A long message (past any small formatting buffer) from several threads at once: every
// line arrives whole.
TEST_F(TraceRegistry, ConcurrentLongLinesNeverInterleave) {
    const std::string path = TempFile("kolvex_threads");
    ASSERT_TRUE(m_reg.SetString(RegView::View32, kKey, "LogFileFullPath", path));
    ASSERT_TRUE(m_reg.SetDword(RegView::View32, kKey, "LogLevel", 5));
    const auto logp = Load();
    CTraceLog& log = *logp;
    constexpr int kThreads = 4, kLines = 100;
    const std::string filler(700, 'x');
    qds::plat::CEvent go(true, false);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            go.Wait(qds::plat::kInfinite);
            for (int i = 0; i < kLines; ++i)
                log.Write(qds::level::debug, "T%d L%03d %s end", t, i, filler.c_str());
        });
    }
    go.Set();
    for (auto& th : threads) th.join();
    const auto lines = SplitLines(ReadBytes(path));
    std::remove(path.c_str());
    ASSERT_EQ(lines.size(), static_cast<size_t>(kThreads * kLines));
    const std::regex body("^T([0-9]) L([0-9]{3}) x{700} end$");
    std::vector<int> next(kThreads, 0);
    for (const std::string& l : lines) {
        std::smatch m;
        const std::string msg = MessageOf(l);
        ASSERT_TRUE(std::regex_match(msg, m, body)) << l.substr(0, 80);
        const int t = std::stoi(m[1]);
        EXPECT_EQ(std::stoi(m[2]), next[static_cast<size_t>(t)]++);  // each thread in order
    }
}

// ---------------------------------------------------------------- level filter

TEST_F(TraceRegistry, ConfiguredLevelLetsThroughOnlyLevelsNotAboveIt) {
    const struct {
        uint32_t logLevel;  // as stored in the dword
        std::vector<int32_t> written;
    } cases[] = {
        {2, {1, 2}},
        {3, {1, 2, 3}},
        {4, {1, 2, 3, 4}},
        {0, {}},
        {1, {1}},
        {0xFFFFFFFFu /* -1 */, {}},
        {0x80000000u, {}},
        {5, {1, 2, 3, 4, 5}},
        {7, {1, 2, 3, 4, 5, 6, 7}},
    };
    for (const auto& c : cases) {
        const std::string path = TempFile("kolvex_filter");
        ASSERT_TRUE(m_reg.SetString(RegView::View32, kKey, "LogFileFullPath", path));
        ASSERT_TRUE(m_reg.SetDword(RegView::View32, kKey, "LogLevel", c.logLevel));
        const auto logp = Load();
        CTraceLog& log = *logp;
        EXPECT_EQ(log.Level(), static_cast<int32_t>(c.logLevel));
        for (int32_t level = 1; level <= 8; ++level) log.Write(level, "level %d", level);
        std::vector<int32_t> got;
        for (const std::string& l : SplitLines(ReadBytes(path)))
            got.push_back(std::stoi(MessageOf(l).substr(6)));
        EXPECT_EQ(got, c.written) << "LogLevel " << static_cast<int32_t>(c.logLevel);
        if (c.written.empty()) {
            EXPECT_FALSE(FileExists(path)) << "LogLevel " << static_cast<int32_t>(c.logLevel);
        }
        std::remove(path.c_str());
    }
}

// ---------------------------------------------------------------- configuration

enum class PathIs { Given, Default };

struct ConfigCase {
    const char* what;
    bool key;
    std::string path;  // "" = no LogFileFullPath value
    bool levelValue;
    uint32_t level;
    PathIs expectPath;
    int32_t expectLevel;
};

std::string DefaultPath() {
    return FolderOf(qds::plat::ExecutablePath()) + "Jposlog.log";
}

TEST(TraceDefaultPath, IsJposlogInTheFolderOfTheRunningExecutable) {
    const std::string exe = qds::plat::ExecutablePath();
    EXPECT_NE(exe.find("trace_tests"), std::string::npos) << exe;
    EXPECT_EQ(DefaultPath(), exe.substr(0, exe.find("trace_tests")) + "Jposlog.log");
}

TEST_F(TraceRegistry, ConfigurationFromTheRegistry) {
    const std::string tmp = TempFolder();
    // Paths of exactly 259 and 260 characters (the field holds 260 with its NUL).
    const std::string p259 = tmp + std::string(259 - tmp.size() - 4, 'p') + ".log";
    const std::string p260 = tmp + std::string(260 - tmp.size() - 4, 'p') + ".log";
    const std::string p600 = tmp + std::string(600 - tmp.size() - 4, 'p') + ".log";
    ASSERT_EQ(p259.size(), 259u);
    const ConfigCase cases[] = {
        {"no key", false, "", false, 0, PathIs::Default, 0},
        {"empty key", true, "", false, 0, PathIs::Default, 0},
        {"level 5, no path", true, "", true, 5, PathIs::Default, 5},
        {"path, no level", true, TempFile("kolvex_cfg"), false, 0, PathIs::Given, 0},
        {"4-character path", true, "k4.l", true, 5, PathIs::Given, 5},
        {"3-character path", true, "k3l", true, 5, PathIs::Default, 5},
        {"empty path", true, std::string(), true, 2, PathIs::Default, 2},
        {"259-character path", true, p259, true, 5, PathIs::Given, 5},
        {"260-character path", true, p260, true, 5, PathIs::Default, 5},
        {"path longer than the query buffer", true, p600, true, 3, PathIs::Default, 3},
        {"negative level", true, TempFile("kolvex_cfg"), true, 0xFFFFFFFEu, PathIs::Given, -2},
    };
    for (const ConfigCase& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(m_reg.DeleteKey(RegView::View32, kKey));
        if (c.key) {
            // An unrelated value makes the key exist when nothing else is set.
            ASSERT_TRUE(m_reg.SetDword(RegView::View32, kKey, "Other", 1));
            if (!c.path.empty() || std::string(c.what) == "empty path") {
                ASSERT_TRUE(m_reg.SetString(RegView::View32, kKey, "LogFileFullPath", c.path));
            }
            if (c.levelValue) {
                ASSERT_TRUE(m_reg.SetDword(RegView::View32, kKey, "LogLevel", c.level));
            }
        }
        const auto logp = Load();
        CTraceLog& log = *logp;
        EXPECT_EQ(log.Level(), c.expectLevel);
        EXPECT_EQ(log.FilePath(), c.expectPath == PathIs::Given ? c.path : DefaultPath());
    }
}

// The value's type is not examined: a string "5" read as a 4-byte integer through the wide
// call is the bytes '5', 0, 0, 0.
TEST_F(TraceRegistry, LevelStoredAsTextIsReadAsItsBytes) {
    ASSERT_TRUE(m_reg.SetString(RegView::View32, kKey, "LogLevel", "5"));
    const auto logp = Load();
    CTraceLog& log = *logp;
    EXPECT_EQ(log.Level(), 0x35);
}

TEST_F(TraceRegistry, NoKeyMeansNoFileHoweverMuchIsWritten) {
    const std::string def = DefaultPath();
    std::remove(def.c_str());
    const auto logp = Load();
    CTraceLog& log = *logp;
    ASSERT_EQ(log.Level(), qds::level::off);
    // Messages of the system are at levels 2, 3 and 5; a level-0 message would pass level 0.
    for (int32_t level = 1; level <= 9; ++level) log.Write(level, "nothing %d", level);
    EXPECT_FALSE(FileExists(def));
}

TEST_F(TraceRegistry, LevelWithoutPathWritesJposlogBesideTheExecutable) {
    const std::string def = DefaultPath();
    std::remove(def.c_str());
    ASSERT_TRUE(m_reg.SetDword(RegView::View32, kKey, "LogLevel", 5));
    const auto logp = Load();
    CTraceLog& log = *logp;
    ASSERT_EQ(log.FilePath(), def);
    const std::string marker =
        "default-path marker " + std::to_string(qds::plat::CurrentProcessId());
    log.Write(qds::level::debug, "%s", marker.c_str());
    const std::string bytes = ReadBytes(def);
    std::remove(def.c_str());
    EXPECT_NE(bytes.find(marker), std::string::npos);
}

TEST_F(TraceRegistry, FourCharacterPathIsWrittenToAndThreeIsNot) {
    ASSERT_TRUE(m_reg.SetString(RegView::View32, kKey, "LogFileFullPath", "k4.l"));
    ASSERT_TRUE(m_reg.SetDword(RegView::View32, kKey, "LogLevel", 5));
    std::remove("k4.l");
    {
        const auto logp = Load();
        CTraceLog& log = *logp;
        log.Write(qds::level::debug, "four");
    }
    const auto lines = SplitLines(ReadBytes("k4.l"));
    std::remove("k4.l");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(MessageOf(lines[0]), "four");
}

TEST_F(TraceRegistry, PathOf259CharactersIsWrittenTo) {
    const std::string tmp = TempFolder();
    const std::string p259 = tmp + std::string(259 - tmp.size() - 4, 'q') + ".log";
    ASSERT_TRUE(m_reg.SetString(RegView::View32, kKey, "LogFileFullPath", p259));
    ASSERT_TRUE(m_reg.SetDword(RegView::View32, kKey, "LogLevel", 5));
    const auto logp = Load();
    CTraceLog& log = *logp;
    log.Write(qds::level::debug, "long");
    const auto lines = SplitLines(ReadBytes(p259));
    std::remove(p259.c_str());
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(MessageOf(lines[0]), "long");
}

// ---------------------------------------------------------------- file failures

TEST_F(TraceRegistry, UnwritablePathDropsLinesAndCarriesOn) {
    const std::string sep(1, qds::plat::PathSeparator());
    const std::string missingFolder = TempFolder() + "kolvex_no_such_folder" + sep + "x.log";
    const std::string folderItself =
        TempFolder() + "kolvex_a_folder_" + std::to_string(qds::plat::CurrentProcessId());
    std::error_code ec;
    std::filesystem::remove_all(folderItself, ec);  // left over from an earlier run
    ASSERT_TRUE(std::filesystem::create_directory(folderItself, ec)) << ec.message();
    const std::string paths[] = {missingFolder, folderItself};
    for (const std::string& p : paths) {
        SCOPED_TRACE(p);
        ASSERT_TRUE(m_reg.SetString(RegView::View32, kKey, "LogFileFullPath", p));
        ASSERT_TRUE(m_reg.SetDword(RegView::View32, kKey, "LogLevel", 5));
        const auto logp = Load();
        CTraceLog& log = *logp;
        ASSERT_EQ(log.FilePath(), p);
        for (int i = 0; i < 3; ++i) log.Write(qds::level::debug, "dropped %d", i);
    }
    EXPECT_FALSE(std::filesystem::exists(missingFolder));
    EXPECT_FALSE(std::filesystem::exists(TempFolder() + "kolvex_no_such_folder"));
    EXPECT_TRUE(std::filesystem::is_directory(folderItself));
    std::filesystem::remove(folderItself, ec);
}

TEST_F(TraceRegistry, DeletedFileIsCreatedAgainByTheNextLine) {
    const std::string path = TempFile("kolvex_deleted");
    ASSERT_TRUE(m_reg.SetString(RegView::View32, kKey, "LogFileFullPath", path));
    ASSERT_TRUE(m_reg.SetDword(RegView::View32, kKey, "LogLevel", 5));
    const auto logp = Load();
    CTraceLog& log = *logp;
    log.Write(qds::level::debug, "first");
    ASSERT_EQ(SplitLines(ReadBytes(path)).size(), 1u);
    ASSERT_EQ(std::remove(path.c_str()), 0);
    log.Write(qds::level::debug, "second");
    const auto lines = SplitLines(ReadBytes(path));
    std::remove(path.c_str());
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(MessageOf(lines[0]), "second");
}

// ---------------------------------------------------------------- scopes

TEST(TraceScope, NestedScopesIndentTwoBlanksPerLevelAndExitMatchesEnter) {
    TraceCapture cap;
    const int32_t start = g_nTraceDepth.load();
    {
        CTraceScope a("A");
        {
            CTraceScope b("B", -3);
            { CTraceScope c("C"); }
            EXPECT_EQ(g_nTraceDepth.load(), start + 2);
        }
    }
    EXPECT_EQ(g_nTraceDepth.load(), start);
    const std::vector<std::string> want = {
        "A [Enter] {",     "  B value:-3 [Enter] {", "    C [Enter] {",
        "    C [Exit]  }", "  B [Exit]  }",          "A [Exit]  }",
    };
    EXPECT_EQ(cap.Messages(), want);
    for (const std::string& l : cap.Lines()) EXPECT_EQ(l.substr(29, 9), "[DEBUG]  ") << l;
}

TEST(TraceScope, ExceptionLeavingAScopeStillWritesTheExitLines) {
    TraceCapture cap;
    const int32_t start = g_nTraceDepth.load();
    try {
        CTraceScope outer("Outer");
        CTraceScope inner("Inner", 9);
        throw std::runtime_error("boom");
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(g_nTraceDepth.load(), start);
    const std::vector<std::string> want = {"Outer [Enter] {", "  Inner value:9 [Enter] {",
                                           "  Inner [Exit]  }", "Outer [Exit]  }"};
    EXPECT_EQ(cap.Messages(), want);
}

TEST(TraceScope, NullNameWritesNothingButStillCounts) {
    TraceCapture cap;
    const int32_t start = g_nTraceDepth.load();
    {
        CTraceScope unnamed(nullptr);
        EXPECT_EQ(g_nTraceDepth.load(), start + 1);
        CTraceScope named("Named");
    }
    EXPECT_EQ(g_nTraceDepth.load(), start);
    const std::vector<std::string> want = {"  Named [Enter] {", "  Named [Exit]  }"};
    EXPECT_EQ(cap.Messages(), want);
}

TEST(TraceScope, CounterMovesAlsoWhenTheLevelFiltersEverything) {
    TraceCapture cap(qds::level::off);
    const int32_t start = g_nTraceDepth.load();
    {
        CTraceScope a("A");
        EXPECT_EQ(g_nTraceDepth.load(), start + 1);
    }
    EXPECT_EQ(g_nTraceDepth.load(), start);
    EXPECT_FALSE(FileExists(cap.Path()));
}

// Scopes on several threads keep the shared counter consistent.
TEST(TraceScope, ConcurrentScopesReturnTheCounterToItsStart) {
    TraceCapture cap;
    const int32_t start = g_nTraceDepth.load();
    qds::plat::CEvent go(true, false);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            go.Wait(qds::plat::kInfinite);
            for (int i = 0; i < 50; ++i) {
                CTraceScope a("A");
                CTraceScope b("B", i);
            }
        });
    }
    go.Set();
    for (auto& th : threads) th.join();
    EXPECT_EQ(g_nTraceDepth.load(), start);
    EXPECT_EQ(cap.Lines().size(), 4u * 50u * 4u);
}

}  // namespace
