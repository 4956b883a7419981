#include <gtest/gtest.h>

#include <sys/stat.h>

#include <functional>

#include "TempTree.h"
#include "settings/SettingsFile.h"

namespace {

// Settings files end their lines as the platform's own tools do.
#ifdef _WIN32
const std::string kNewline = "\r\n";
#else
const std::string kNewline = "\n";
#endif

std::string native(std::string text) {
    std::string out;
    for (char c : text) {
        if (c == '\n')
            out += kNewline;
        else
            out += c;
    }
    return out;
}

JobSettings sample() {
    return {"ftp.example.com", "user", "p@ss word", "/www", "http://example.com/", "1", "0"};
}

void expectSame(const JobSettings& a, const JobSettings& b) {
    EXPECT_EQ(a.hostName, b.hostName);
    EXPECT_EQ(a.accountName, b.accountName);
    EXPECT_EQ(a.password, b.password);
    EXPECT_EQ(a.targetFolder, b.targetFolder);
    EXPECT_EQ(a.baseUrl, b.baseUrl);
    EXPECT_EQ(a.mobileFlag, b.mobileFlag);
    EXPECT_EQ(a.uploadFlag, b.uploadFlag);
}

TEST(SettingsFile, MissingFileGivesEmptyValuesAndFirstSaveWritesAllSevenKeysInOrder) {
    TempTree dir;
    SettingsFile file;
    file.setPath(SettingsFile::pathIn(dir.str()));
    EXPECT_EQ(file.path(), (dir.path() / "SETTING.INI").string());
    JobSettings loaded = sample();
    file.load(loaded);
    expectSame(loaded, JobSettings{});

    ASSERT_TRUE(file.save(JobSettings{"h", "", "", "", "", "0", "0"}));
    EXPECT_EQ(readFile(file.path()), native("[INI_SETTING]\nhost=h\nid=\npswd=\ndir=\nhttp=\nchk1=0\nchk2=0\n"));
}

// The options live in a section of their own, written once one is set.
TEST(SettingsFile, SitemapOptionsInTheirOwnSection) {
    TempTree dir;
    SettingsFile file;
    file.setPath(SettingsFile::pathIn(dir.str()));
    JobSettings settings = sample();
    settings.sitemap.robots = settings.sitemap.gzip = true;
    settings.sitemap.exclude = {"/cgi-bin/*", "*.bak"};
    settings.sitemap.extensions = {".html", ".pdf"};
    ASSERT_TRUE(file.save(settings));
    EXPECT_NE(readFile(file.path()).find(native("[SITEMAP_OPTIONS]\nlastmod=0\nrobots=1\nindex_as_folder=0\ngzip=1\nverify=0\n"
                                                "exclude=/cgi-bin/*;*.bak\nextensions=.html;.pdf\n")),
              std::string::npos)
        << readFile(file.path());
    JobSettings loaded;
    ASSERT_TRUE(file.load(loaded));
    EXPECT_TRUE(loaded.sitemap == settings.sitemap);
    settings.sitemap.robots = false;  // a value that changes is no line lost
    settings.sitemap.exclude.clear();
    std::string error;
    ASSERT_TRUE(file.saveOptions(settings.sitemap, &error)) << error;
    ASSERT_TRUE(file.load(loaded));
    EXPECT_TRUE(loaded.sitemap == settings.sitemap);
    EXPECT_EQ(loaded.password, "p@ss word");

    // Typed by hand: any number but 0 is on, blanks and empty items go.
    dir.file("SETTING.INI", "[INI_SETTING]\nhost=h\n[SITEMAP_OPTIONS]\nlastmod=2\nexclude= /a/* ;; *.bak ;\n");
    ASSERT_TRUE(file.load(loaded));
    EXPECT_TRUE(loaded.sitemap.lastmod);
    EXPECT_FALSE(loaded.sitemap.robots);
    EXPECT_EQ(loaded.sitemap.exclude, (std::vector<std::string>{"/a/*", "*.bak"}));

    // Typed with a Japanese input method: full-width separators and spaces.
    for (const char* typed : {".html；.pdf", ".html、.pdf", ".html,.pdf", ".html，.pdf", ".html　.pdf", "　.html ;；.pdf、"})
        EXPECT_EQ(SitemapOptions::splitList(typed), (std::vector<std::string>{".html", ".pdf"})) << typed;
}

TEST(SettingsFile, RoundTripKeepsOtherContent) {
    TempTree dir;
    dir.file("SETTING.INI",
             "; written by hand\n"
             "[OTHER]\n"
             "keep=this\n"
             "\n"
             "[INI_SETTING]\n"
             "; the host\n"
             "host=old\n"
             "extra=stays\n");
    SettingsFile file;
    file.setPath((dir.path() / "SETTING.INI").string());
    ASSERT_TRUE(file.save(sample()));
    JobSettings loaded;
    file.load(loaded);
    expectSame(loaded, sample());

    // Every other line stays, in its order, with the file's own line ends.
    std::string text = readFile(file.path());
    size_t at = 0;
    for (auto line : {"; written by hand\n", "[OTHER]\n", "keep=this\n", "[INI_SETTING]\n", "; the host\n",
                      "host=ftp.example.com\n", "extra=stays\n", "id=user\n", "pswd=p@ss word\n", "chk2=0\n"}) {
        size_t found = text.find(line, at);
        EXPECT_NE(found, std::string::npos) << line << "\n---\n" << text;
        if (found != std::string::npos) at = found;
    }
    // Saving again changes nothing.
    ASSERT_TRUE(file.save(sample()));
    EXPECT_EQ(readFile(file.path()), text);
}

TEST(SettingsFile, ReadsShiftJisFilesFromOlderTools) {
    TempTree dir;
    // "対象" and "サイト" in code page 932.
    dir.file("SETTING.INI", "[INI_SETTING]\r\nhost=ftp.example.jp\r\ndir=/\x91\xce\x8f\xdb\r\nhttp=http://example.jp/"
                            "\x83\x54\x83\x43\x83\x67\r\nchk1=1\r\n");
    SettingsFile file;
    file.setPath((dir.path() / "SETTING.INI").string());
    JobSettings loaded;
    file.load(loaded);
    EXPECT_EQ(loaded.hostName, "ftp.example.jp");
    EXPECT_EQ(loaded.targetFolder, "/\xe5\xaf\xbe\xe8\xb1\xa1");
    EXPECT_EQ(loaded.baseUrl, "http://example.jp/\xe3\x82\xb5\xe3\x82\xa4\xe3\x83\x88");
    EXPECT_EQ(loaded.mobileFlag, "1");

    // Saved back as it was read, Shift-JIS with CR LF, for the tools that
    // read it; UTF-8 (and a notice) only once a value has no Shift-JIS form.
    ASSERT_TRUE(file.save(loaded));
    EXPECT_EQ(readFile(file.path()).rfind("[INI_SETTING]\r\nhost=ftp.example.jp\r\n", 0), 0u);
    EXPECT_NE(readFile(file.path()).find("dir=/\x91\xce\x8f\xdb\r\n"), std::string::npos);
    EXPECT_EQ(file.notice(), "");
    loaded.accountName = "\xf0\x9f\x98\x80";  // an emoji
    ASSERT_TRUE(file.save(loaded));
    EXPECT_NE(readFile(file.path()).find("dir=/\xe5\xaf\xbe\xe8\xb1\xa1\r\n"), std::string::npos);
    EXPECT_NE(file.notice(), "");
}

TEST(SettingsFile, LongValuesAreCutTo4095BytesNeverInsideACharacter) {
    TempTree dir;
    std::string ascii(5000, 'a');
    std::string japanese;
    while (japanese.size() < 5000) japanese += "\xe3\x81\x82";  // 3 bytes each; 4095 = 1365 * 3
    std::string shifted = "x" + japanese;                         // a character straddles byte 4095
    dir.file("SETTING.INI", "[INI_SETTING]\nhost=" + ascii + "\nid=" + japanese + "\npswd=" + shifted + "\n");
    SettingsFile file;
    file.setPath((dir.path() / "SETTING.INI").string());
    JobSettings loaded;
    file.load(loaded);
    EXPECT_EQ(loaded.hostName, std::string(4095, 'a'));
    EXPECT_EQ(loaded.accountName, japanese.substr(0, 4095));
    EXPECT_EQ(loaded.password, shifted.substr(0, 4093));
}

#ifndef _WIN32
TEST(SettingsFile, NewFileIsReadableByItsOwnerOnlyAndAnExistingModeIsKept) {
    TempTree dir;
    SettingsFile file;
    file.setPath((dir.path() / "SETTING.INI").string());
    ASSERT_TRUE(file.save(sample()));
    struct stat st {};
    ASSERT_EQ(stat(file.path().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600);

    chmod(file.path().c_str(), 0640);
    ASSERT_TRUE(file.save(sample()));
    ASSERT_EQ(stat(file.path().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640);
}
#endif

TEST(SettingsFile, FailedSaveIsReportedAndLeavesTheOldFile) {
    TempTree dir;
    SettingsFile file;
    file.setPath((dir.path() / "missing/SETTING.INI").string());
    EXPECT_FALSE(file.save(sample()));
}

// Whatever a value holds comes back unchanged; comments at the end stay.
TEST(SettingsFile, ValuesAndLastCommentsSurviveSaveAndLoad) {
    TempTree dir;
    dir.file("SETTING.INI", "[INI_SETTING]\nhost=h\n; last words\n");
    SettingsFile file;
    file.setPath(SettingsFile::pathIn(dir.str()));
    for (std::string value : {" pass word ", "\"quoted\"", " \"both\" ", "\"", "a=b;c#d", "\t tab"}) {
        JobSettings saved = sample();
        saved.password = value;
        ASSERT_TRUE(file.save(saved)) << value;
        JobSettings loaded;
        ASSERT_TRUE(file.load(loaded)) << value;
        expectSame(loaded, saved);
        EXPECT_NE(readFile(file.path()).find("; last words"), std::string::npos) << value;
    }
}

// Lines the parser cannot read would vanish in a save: the file is kept.
TEST(SettingsFile, LinesThatAreNoSettingsAreNeverLost) {
    TempTree dir;
    const std::string text = "hello world\n[INI_SETTING]\nhost=h\n";
    dir.file("SETTING.INI", text);
    SettingsFile file;
    file.setPath(SettingsFile::pathIn(dir.str()));
    std::string error;
    EXPECT_FALSE(file.save(sample(), &error));
    EXPECT_NE(error.find("hello world"), std::string::npos) << error;
    EXPECT_EQ(readFile(file.path()), text);
}

#ifndef _WIN32
// Something that is no settings file is read as nothing and never written
// over; a link planted where a temporary file might go is left alone.
TEST(SettingsFile, UnreadableFilesAreNeverWrittenOver) {
    TempTree dir;
    SettingsFile file;
    struct {
        const char* label;
        std::function<void(const std::filesystem::path&)> make;
    } cases[] = {
        {"neither UTF-8 nor Shift-JIS", [&](auto& p) { dir.file(p.filename().string(), "[INI_SETTING]\nhost=h\n; \x81\x20\n"); }},
        {"a folder", [](auto& p) { std::filesystem::create_directory(p); }},
        {"a FIFO", [](auto& p) { mkfifo(p.c_str(), 0600); }},
        {"a device", [](auto& p) { std::filesystem::create_symlink("/dev/zero", p); }},
    };
    int n = 0;
    for (const auto& c : cases) {
        auto path = dir.path() / ("S" + std::to_string(n++) + ".INI");
        c.make(path);
        file.setPath(path.string());
        std::string before = std::filesystem::is_regular_file(path) ? readFile(path) : "";
        JobSettings loaded = sample();
        std::string error;
        EXPECT_FALSE(file.load(loaded, &error)) << c.label;
        EXPECT_FALSE(error.empty()) << c.label;
        EXPECT_EQ(loaded.hostName, "") << c.label;
        EXPECT_FALSE(file.save(sample())) << c.label;
        if (!before.empty()) {
            EXPECT_EQ(readFile(path), before) << c.label;
        }
    }

    dir.file("target.txt", "untouched");
    std::filesystem::create_symlink(dir.path() / "target.txt", dir.path() / "SETTING.INI.tmp");
    file.setPath(SettingsFile::pathIn(dir.str()));
    ASSERT_TRUE(file.save(sample()));
    EXPECT_EQ(readFile(dir.path() / "target.txt"), "untouched");
}
#endif

TEST(SettingsFile, FlagsShowInATwoStateBox) {
    struct {
        const char* text;
        bool ticked;
    } cases[] = {{"1", true},   {"0", false},  {"", false},    {"2", true},   {"-1", true},  {" 1", true},
                 {"1x", true},  {"x1", false}, {"00", false},  {"+0", false}, {"007", true}, {"yes", false}};
    for (const auto& c : cases) EXPECT_EQ(SettingsFile::flagTicked(c.text), c.ticked) << "'" << c.text << "'";
}

TEST(SettingsFile, ConnectionsSettingIsReadButNeverWritten) {
    TempTree dir;
    dir.file("SETTING.INI", "[INI_SETTING]\nconnections=8\n");
    SettingsFile file;
    file.setPath((dir.path() / "SETTING.INI").string());
    JobSettings loaded;
    file.load(loaded);
    EXPECT_EQ(loaded.connections, 8);
    loaded.connections = 2;
    ASSERT_TRUE(file.save(loaded));
    EXPECT_NE(readFile(file.path()).find("connections=8\n"), std::string::npos);

    struct {
        const char* text;
        int connections;
    } cases[] = {{"", 4}, {"0", 0}, {"1", 1}, {"16", 16}, {"17", 16}, {"999", 16}, {"-1", 4}, {"x", 4}, {"1000", 4}};
    for (const auto& c : cases) EXPECT_EQ(SettingsFile::parseConnections(c.text), c.connections) << c.text;
}

TEST(JobSettings, FirstMissingValueDecidesTheMessage) {
    struct {
        JobSettings settings;
        const char* message;
    } cases[] = {
        {{"", "", "", "", "", "0", "0"}, "ホストを入力してください"},
        {{"h", "", "", "", "", "0", "0"}, "アカウントを入力してください"},
        {{"h", "a", "", "", "u", "0", "0"}, "パスワードを入力してください"},
        {{"h", "a", "p", "", "", "0", "0"}, "httpパスを入力してください"},
        {{"h", "a", "p", "", "www.example.jp", "0", "0"}, "httpパスは http:// または https:// で始めてください（例: https://www.example.jp）"},
        {{"h", "a", "p", "", "HTTPS://e", "0", "0"}, ""},
        {{" ", " ", " ", "", "http:// ", "0", "0"}, ""},
    };
    for (const auto& c : cases) EXPECT_EQ(missingValueMessage(c.settings), c.message);
}

}  // namespace

namespace {

// Where the program started from a desktop menu keeps its files (the XDG
// rule: a relative or empty XDG_CONFIG_HOME does not count).
TEST(SettingsFile, UserFolderFollowsTheXdgRule) {
    struct {
        const char *xdg, *home, *expected;
    } cases[] = {
        {"/home/a/.conf", "/home/a", "/home/a/.conf/quillomar"},
        {nullptr, "/home/a", "/home/a/.config/quillomar"},
        {"", "/home/a", "/home/a/.config/quillomar"},
        {"relative/conf", "/home/a", "/home/a/.config/quillomar"},
        {nullptr, nullptr, ""},
        {"", "not/absolute", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SettingsFile::userFolder(c.xdg, c.home), c.expected)
            << (c.xdg ? c.xdg : "(unset)") << " " << (c.home ? c.home : "(unset)");
}

}  // namespace
