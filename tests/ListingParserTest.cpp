#include <gtest/gtest.h>

#include "remote/ftp/ListingParser.h"

namespace {

struct Expected {
    std::string name;
    EntryKind kind;
    std::string unique;
};

struct Case {
    const char* label;
    bool mlsd;
    std::string text;
    std::vector<Expected> expected;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.label; }

class ListingParserTest : public ::testing::TestWithParam<Case> {};

TEST_P(ListingParserTest, ParsesNamesKindsAndOrder) {
    const Case& c = GetParam();
    NameList names;
    if (c.mlsd)
        listing::parseMlsd(c.text, names);
    else
        listing::parseList(c.text, names);
    ASSERT_EQ(names.size(), c.expected.size());
    for (size_t i = 0; i < names.size(); ++i) {
        EXPECT_EQ(names[i].name, c.expected[i].name) << i;
        EXPECT_EQ(names[i].kind, c.expected[i].kind) << i;
        EXPECT_EQ(names[i].uniqueId, c.expected[i].unique) << i;
    }
}

using K = EntryKind;

INSTANTIATE_TEST_SUITE_P(
    Listings, ListingParserTest,
    ::testing::Values(
        Case{"mlsd_kinds_in_order", true,
             "type=file;size=3;unique=801g1; zeta.html\r\n"
             "type=dir;unique=801g2; alpha\r\n"
             "type=cdir; .\r\n"
             "type=pdir; ..\r\n"
             "type=OS.unix=slink:/x; link\r\n",
             {{"zeta.html", K::File, "801g1"}, {"alpha", K::Folder, "801g2"}, {".", K::Folder, ""},
              {"..", K::Folder, ""}, {"link", K::Link, ""}}},
        Case{"mlsd_names_keep_spaces_and_bytes", true,
             "Type=DIR;Unique=a; two  words \r\n"
             "type=file; \xe6\x97\xa5\xe6\x9c\xac.html\r\n"
             " nofacts.html\r\n",
             {{"two  words ", K::Folder, "a"}, {"\xe6\x97\xa5\xe6\x9c\xac.html", K::File, ""},
              {"nofacts.html", K::Unknown, ""}}},
        Case{"mlsd_unsafe_and_broken_lines_dropped", true,
             "type=file; bad\nname.html\r\n"
             "type=file; bad\rname.html\r\n"
             "type=file; a/b.html\r\n"
             "type=file; " + std::string("nul\0x", 5) + "\r\n"
             "garbage-without-space\r\n"
             "type=file;size=1 missing-semicolon\r\n"
             "type=file; ok.html\r\n",
             {{"ok.html", K::File, ""}}},
        Case{"mlsd_lf_only", true, "type=dir; a\ntype=file; b.php\n",
             {{"a", K::Folder, ""}, {"b.php", K::File, ""}}},
        // A client that turned CR LF into LF leaves a name's own LF as a line
        // break: both halves go.
        Case{"mlsd_lf_only_broken_name", true, "type=file; x.html\nevil.php\ntype=file; ok.php\n",
             {{"ok.php", K::File, ""}}},
        Case{"list_lf_only_broken_name", false,
             "total 2\n-rw-r--r-- 1 o g 1 Jan 1 12:00 x.html\nevil dir\n-rw-r--r-- 1 o g 1 Jan 1 12:00 ok.php\n",
             {{"ok.php", K::File, ""}}},
        Case{"unix_list", false,
             "total 12\r\n"
             "drwxr-xr-x   2 owner group     4096 Jan  1 12:00 sub dir\r\n"
             "-rw-r--r--   1 owner group       10 Dec 31  2023 index.html\r\n"
             "lrwxrwxrwx   1 owner group        4 Feb 29 01:02 up -> ../x\r\n"
             "-rw-r--r-- 1 1000 1000 5 Mar 3 10:10  lead.html\r\n"
             "drwxr-xr-x 3 nogroup 4096 Apr 10 2020 fewer-fields\r\n",
             {{"sub dir", K::Folder, ""}, {"index.html", K::File, ""}, {"up", K::Link, ""},
              {" lead.html", K::File, ""}, {"fewer-fields", K::Folder, ""}}},
        Case{"dos_list", false,
             "not a listing line\r\n"
             "12-31-23  22:05                 1234 before-garbage.htm\r\n"
             "garbage between entries\r\n"
             "01-02-24  10:11AM       <DIR>          Folder One\r\n"
             "12-31-2023  22:05                 1234 page.htm\r\n",
             {{"before-garbage.htm", K::File, ""}, {"Folder One", K::Folder, ""}, {"page.htm", K::File, ""}}},
        // Lines as real servers and their ls send them. A line that is no
        // entry must never cost its neighbour.
        Case{"iso_and_numeric_dates", false,
             "-rw-r--r-- 1 u g 10 2023-12-08 17:35 long-iso.html\n"
             "-rw-r--r-- 1 u g 10 2023-12-08 17:35:01.123456789 +0900 full-iso.html\n"
             "-rw-r--r-- 1 u g 10 12-08 17:35 iso-recent.html\n"
             "-rw-r--r-- 1 u g 10 2020-01-02 iso-old.html\n",
             {{"long-iso.html", K::File, ""}, {"full-iso.html", K::File, ""}, {"iso-recent.html", K::File, ""},
              {"iso-old.html", K::File, ""}}},
        Case{"japanese_dates_utf8_and_cp932", false,
             "-rw-r--r-- 1 u g 10 12\xe6\x9c\x88  8 17:35 a.html\n"
             "-rw-r--r-- 1 u g 10  1\xe6\x9c\x88 15  2020 b.html\n"
             "-rw-r--r-- 1 u g 10 2023\xe5\xb9\xb4" "12\xe6\x9c\x88 8\xe6\x97\xa5 c.html\n"
             "drwxr-xr-x 2 u g 4096 12\x8c\x8e  8 17:35 d\n"
             "-rw-r--r-- 1 u g 10 2023\x94\x4e" "12\x8c\x8e 8\x93\xfa e.html\n",
             {{"a.html", K::File, ""}, {"b.html", K::File, ""}, {"c.html", K::File, ""}, {"d", K::Folder, ""},
              {"e.html", K::File, ""}}},
        Case{"owner_that_looks_like_a_date", false,
             "-rw-r--r-- 1 may 12 1024 Jan 01 12:00 owner-may.html\n"
             "-rw-r--r-- 1 jun 1024 Jan 01 12:00 no-group.html\n",
             {{"owner-may.html", K::File, ""}, {"no-group.html", K::File, ""}}},
        Case{"devices_pipes_and_odd_names", false,
             "crw-rw-rw- 1 root root 1, 3 Dec  8 17:35 null\n"
             "prw-r--r-- 1 u g 0 Dec  8 17:35 fifo\n"
             "-rw-r--r-- 1 u g 10 Dec  8 17:35   two leading.html\n"
             "-rw-r--r-- 1 u g 10 Dec  8 17:35 double  space.html\n",
             {{"null", K::Other, ""}, {"fifo", K::Other, ""}, {"  two leading.html", K::File, ""},
              {"double  space.html", K::File, ""}}},
        Case{"dos_trailers_keep_the_last_entry", false,
             " Volume in drive C has no label.\n"
             "12-08-23  05:35PM       <DIR>          sub\n"
             "12-08-23  05:35PM                1,234 last.htm\n"
             "               1 File(s)          1,234 bytes\n"
             "               1 Dir(s)  10,000,000 bytes free\n",
             {{"sub", K::Folder, ""}, {"last.htm", K::File, ""}}},
        Case{"unix_servers_total_lines", false,
             "total 8\n"
             "drwxr-xr-x    2 1000       1000             4096 Dec  8 17:35 pure\n"
             "-rw-r--r--   1 ftp      ftp            10 Dec 08 17:35 proftpd.html\n"
             "\xe5\x90\x88\xe8\xa8\x88 8\n"
             "-rw-r--r-- 1 user user 10 Dec  8 17:35 inetutils.html\n",
             {{"pure", K::Folder, ""}, {"proftpd.html", K::File, ""}, {"inetutils.html", K::File, ""}}},
        Case{"list_unsafe_names_dropped", false,
             "-rw-r--r-- 1 o g 1 Jan 1 12:00 bad\rname.html\r\n"
             "-rw-r--r-- 1 o g 1 Jan 1 12:00 good.html\r\n",
             {{"good.html", K::File, ""}}}),
    [](const auto& test) { return std::string(test.param.label); });

TEST(SafeName, RejectsWhatCouldBreakACommand) {
    EXPECT_TRUE(listing::isSafeName("a b.html"));
    EXPECT_TRUE(listing::isSafeName(".."));
    for (std::string bad : {std::string(), std::string("a\rb"), std::string("a\nb"), std::string("a\0b", 3),
                            std::string("a/b"), std::string("/")})
        EXPECT_FALSE(listing::isSafeName(bad)) << bad;
}

}  // namespace

namespace {

TEST(ControlReplies, StatListingsInTheFormsServersSend) {
    struct {
        const char* label;
        std::vector<std::string> reply;
        std::vector<std::string> names;
    } cases[] = {
        {"pyftpdlib",
         {"213-Status of \"/\":", "drwxr-xr-x   3 root     root         4096 Dec 08 17:35 sub dir",
          "-rw-r--r--   1 root     root            2 Dec 08 17:35 p.html", "213 End of status."},
         {"sub dir", "p.html"}},
        {"vsftpd, with . and ..",
         {"213-Status follows:", "drwxr-xr-x    2 0        0            4096 Dec 08 17:37 .",
          "drwxr-xr-x    3 0        0            4096 Dec 08 17:37 ..",
          "-rw-r--r--    1 0        0               2 Dec 08 17:37 a.html", "213 End of status"},
         {".", "..", "a.html"}},
        {"code before every line",
         {"211-Status of /www:", "211- drwxr-xr-x 2 u g 4096 Jan  1 12:00 blog",
          "211- -rw-r--r-- 1 u g 10 Jan  1 12:00 index.html", "211 End of status"},
         {"blog", "index.html"}},
        {"empty folder", {"213-Status of \"/e\":", "213 End of status."}, {}},
    };
    for (const auto& c : cases) {
        NameList names;
        listing::parseStatReply(c.reply, names);
        std::vector<std::string> got;
        for (const auto& e : names) got.push_back(e.name);
        EXPECT_EQ(got, c.names) << c.label;
    }
}

TEST(ControlReplies, PwdAndMlst) {
    std::string path = "kept";
    EXPECT_TRUE(listing::parsePwdReply("257 \"/a \"\"b\"\" c\" is the current directory", path));
    EXPECT_EQ(path, "/a \"b\" c");
    // A 0xFF doubled on the wire (vsftpd, as RFC 959 asks) is one byte of
    // the name, and goes back doubled.
    EXPECT_TRUE(listing::parsePwdReply("257 \"/\xff\xff" "dir\" is the current directory", path));
    EXPECT_EQ(path, "/\xff" "dir");
    EXPECT_EQ(listing::telnetEscaped("CWD " + path), "CWD /\xff\xff" "dir");
    path = "kept";
    EXPECT_FALSE(listing::parsePwdReply("257 no quotes here", path));
    EXPECT_FALSE(listing::parsePwdReply("257 \"unterminated", path));
    EXPECT_EQ(path, "kept");

    EXPECT_EQ(listing::mlstUniqueId({"250-Listing \"/d0\":", " type=dir;unique=fe00ga74093; /d0", "250 End MLST."}),
              "fe00ga74093");
    EXPECT_EQ(listing::mlstUniqueId({"250-Listing /d0", " type=dir; /d0", "250 End"}), "");
    EXPECT_EQ(listing::mlstUniqueId({"500 Unknown command."}), "");

    // FEAT: what the walk asks for (UTF-8 names, MLST) only where offered.
    const std::vector<std::string> features = {"211-Features:", " MLST type*;size*;", " utf8", "211 End"};
    EXPECT_TRUE(listing::offersFeature(features, "UTF8"));
    EXPECT_TRUE(listing::offersFeature(features, "MLST"));
    EXPECT_FALSE(listing::offersFeature(features, "MLSD"));
    EXPECT_FALSE(listing::offersFeature({"500 FEAT not understood", " UTF8"}, "UTF8"));
}

// A folder's own size, from which the walk tells a folder of thousands.
TEST(ControlReplies, FolderSizes) {
    NameList names;
    listing::parseList("drwxr-xr-x 2 u g 1,404,928 Dec 10 00:14 big\r\n01-02-24  10:11AM  <DIR>  dos\r\n", names);
    ASSERT_EQ(names.size(), 2u);
    EXPECT_EQ(names[0].size, 1404928);
    EXPECT_EQ(names[1].size, -1);
}

}  // namespace
