// The check of every address on the live site: nginx serves the tree that
// the FTP server walks, with an answer of each kind.
#include <gtest/gtest.h>

#include <algorithm>

#include "RecordingObserver.h"
#include "TempTree.h"
#include "TestServer.h"
#include "job/Messages.h"
#include "job/SitemapJob.h"

namespace {

const char* kServed = R"(
    location = /robots.txt { return 200 "User-agent: *\nDisallow: /www/private/\n"; }
    location = /www/moved.html { return 301 /www/about.html; }
    location = /www/gone.html { return 410; }
    location = /www/tagged.html { add_header X-Robots-Tag "noindex"; }
    location = /www/broken.php { return 500 "Fatal error"; }
    location = /www/dies.php { error_page 500 /www/empty.html; return 500; }
    location = /www/post.php { return 405; }
    location = /www/slow.html { limit_rate 50; })";

std::string page(const std::string& head) { return "<!doctype html><html><head>" + head + "</head><body>x</body></html>"; }

void build(TempTree& site) {
    site.file("www/index.html", page("<title>Top</title>"));
    site.file("www/about.html", page("<title>About</title><link rel=canonical href=about.html>"));
    site.file("www/moved.html", page(""));
    site.file("www/gone.html", page(""));
    site.file("www/tagged.html", page("<title>t</title>"));
    site.file("www/hidden.html", page("<!-- <meta name=robots content=index> --><META NAME=Robots CONTENT='NoIndex'>"));
    site.file("www/copy.html", page("<title>c</title><link href='/about.html' rel='canonical'>"));
    site.file("www/empty.html", "");
    site.file("www/menu.htm", "<div>menu</div>");
    site.file("www/lib.php", "<?php function f() {}");
    site.file("www/broken.php", "");
    site.file("www/dies.php", "");
    site.file("www/post.php", "");
    site.file("www/doc.pdf", "%PDF-1.4");
    site.file("www/slow.html", page("<title>s</title><!--" + std::string(400, '-') + "-->"));  // 8 s at 50 B/s
    site.file("www/private/secret.html", page("<title>s</title>"));
    site.file("www/sjis.html", "<html><head><meta charset=Shift_JIS><title>\x83\x65\x83\x58</title>"
                               "<meta name=\"robots\" content=\"noindex\"></head></html>");
}

TEST(PageCheck, OnlyPagesASearchEngineWouldIndexAreWritten) {
    TempTree site, work;
    build(site);
    TestServer ftp((site.path()).string());
    const struct {
        const char* what;
        const char* tls;
        const char* below;       // the http path below the web server's top
        const char* config;
        const char* headline;    // of the failure; null: written
    } cases[] = {
        {"HTTP/1.1", "", "/www", kServed, nullptr},
        {"HTTP/2 over TLS", "h2", "/www", kServed, nullptr},
        {"the http path points elsewhere", "", "/elsewhere", kServed, messages::kNotThisSite},
        {"the site is down", "", "/www", "location / { return 503 down; } location = /robots.txt { return 200 ''; }",
         messages::kSiteDown},
    };
    for (const auto& c : cases) {
        TestServer::Options options;
        options.kind = TestServer::Kind::Nginx;
        options.tls = c.tls;
        options.webConfig = c.config;
        TestServer web(site.path().string(), options);
        for (int connections : {0, 4}) {
            JobSettings settings{ftp.host(), ftp.user(), ftp.password(), "/www", web.webAddress() + c.below, "0", "0"};
            settings.connections = connections;
            settings.replyTimeoutSeconds = 1;  // a page may take 2 s
            settings.caFile = web.caFile();
            settings.sitemap.verify = true;
            settings.sitemap.extensions = {".html", ".htm", ".php", ".pdf"};
            settings.checkReportTsv = (work.path() / "check.tsv").string();
            RecordingObserver observer;
            SitemapJob job(settings, observer, work.str());
            const auto outcome = job.run();
            const std::string file = readFile(work.path() / "sitemap.xml");
            if (c.headline) {
                EXPECT_EQ(outcome, SitemapJob::Outcome::Failed) << c.what;
                EXPECT_EQ(observer.headlines(), std::vector<std::string>{c.headline}) << c.what;
                EXPECT_EQ(file, "<missing>") << c.what << ": nothing written";
                EXPECT_NE(readFile(work.path() / "sitemap-check.html").find(c.headline), std::string::npos) << c.what;
                continue;
            }
            ASSERT_EQ(outcome, SitemapJob::Outcome::Completed) << c.what << "\n" << testing::PrintToString(observer.events());
            std::string written;
            for (size_t at = file.find("<loc>"); at != std::string::npos; at = file.find("<loc>", at + 1))
                written += file.substr(at + 5, file.find("</loc>", at) - at - 5).substr(web.webAddress().size()) + " ";
            // In listing order (sorted), the 5xx with a body and the page
            // too slow to answer kept unconfirmed.
            EXPECT_EQ(written, "/www/about.html /www/broken.php /www/doc.pdf /www/index.html /www/slow.html ")
                << c.what << connections;
            EXPECT_EQ(observer.of("progress").back(),
                      "ページ 5・フォルダ 2  確認: 載せる 5（うち未確認 2）・見つからない 1・転送 1・noindex 3・"
                      "別の canonical 1・ページでない 5・robots.txt で禁止 1")
                << c.what;
            // The report's rows, for people and for scripts: every address not simply kept.
            const std::string tsv = readFile(work.path() / "check.tsv");
            EXPECT_EQ(std::count(tsv.begin(), tsv.end(), '\n'), 1 + 14) << tsv;
            EXPECT_NE(tsv.find(web.webAddress() + "/www/moved.html\tredirect\t301\t" + web.webAddress() +
                               "/www/about.html\n"),
                      std::string::npos)
                << tsv;
            EXPECT_NE(readFile(work.path() / "sitemap-check.html").find("/www/dies.php</td><td>ページでない</td><td>500"),
                      std::string::npos);
        }
    }

    // robots.txt answering a server error: nothing asked, every page kept
    // (the file as without the check), and the user told why.
    TestServer::Options down;
    down.kind = TestServer::Kind::Nginx;
    down.webConfig = "location = /robots.txt { return 503; }";
    TestServer web(site.path().string(), down);
    std::string files[2];
    for (bool verify : {false, true}) {
        JobSettings settings{ftp.host(), ftp.user(), ftp.password(), "/www", web.webAddress() + "/www", "0", "0"};
        settings.sitemap.verify = verify;
        RecordingObserver observer;
        ASSERT_EQ(SitemapJob(settings, observer, work.str()).run(), SitemapJob::Outcome::Completed);
        EXPECT_EQ(observer.headlines(), verify ? std::vector<std::string>{messages::kRobotsUnreadable}
                                               : std::vector<std::string>{});
        files[verify] = readFile(work.path() / "sitemap.xml");
    }
    EXPECT_EQ(files[1], files[0]);
    EXPECT_NE(files[1].find("/www/gone.html"), std::string::npos);
}

// A WordPress install in the target folder: said whether checked or not;
// checked, its own code is left out unasked (the web server would answer
// 418 if it were asked) and reported by part.
TEST(PageCheck, WordPressIsToldAndItsCodeNeverAsked) {
    TempTree site, work;
    for (const char* name : {"wp-config.php", "wp-cron.php", "xmlrpc.php", "readme.html", "wp-admin/index.php",
                             "wp-admin/edit.php", "wp-includes/version.php", "wp-content/plugins/a/a.php"})
        site.file(std::string("www/") + name, "<?php");
    site.file("www/about.html", page("<title>About</title>"));
    TestServer ftp(site.path().string());
    TestServer::Options options;
    options.kind = TestServer::Kind::Nginx;
    options.webConfig = "location ~ ^/www/(wp-|xmlrpc|readme) { return 418; }";
    TestServer web(site.path().string(), options);
    for (bool verify : {false, true}) {
        JobSettings settings{ftp.host(), ftp.user(), ftp.password(), "/www", web.webAddress() + "/www", "0", "0"};
        settings.sitemap.verify = verify;
        settings.checkReportTsv = (work.path() / "check.tsv").string();
        RecordingObserver observer;
        ASSERT_EQ(SitemapJob(settings, observer, work.str()).run(), SitemapJob::Outcome::Completed);
        EXPECT_EQ(observer.of("message"),
                  std::vector<std::string>{messages::wordPressNotice(settings.baseUrl, verify)});
        const std::string file = readFile(work.path() / "sitemap.xml");
        EXPECT_EQ(file.find("wp-admin") == std::string::npos, verify) << file;
        EXPECT_NE(file.find("/www/about.html"), std::string::npos);
        if (!verify) continue;
        const std::string tsv = readFile(work.path() / "check.tsv");
        for (const char* row : {"/www/wp-admin/\twordpress-code\t0\t2\n", "/www/wp-includes/\twordpress-code\t0\t1\n",
                                "/www/wp-content/plugins/\twordpress-code\t0\t1\n",
                                "/www/wp-*.php, xmlrpc.php, readme.html\twordpress-code\t0\t4\n"})
            EXPECT_NE(tsv.find(web.webAddress() + row), std::string::npos) << row << tsv;
        EXPECT_EQ(tsv.find("\t418\t"), std::string::npos) << tsv;
    }
}

}  // namespace
