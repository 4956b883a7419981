#include "settings/SettingsFile.h"

// Values are kept as UTF-8 bytes; the header needs no converter then.
#define SI_NO_CONVERSION
#define SI_IMPLEMENTATION  // header-only use: the templates are defined here
#include <SimpleIni.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <iterator>
#include <utility>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "util/TextCodec.h"
#include "util/Utf8Path.h"

namespace {

using Field = std::string JobSettings::*;
constexpr std::pair<const char*, Field> kKeys[] = {
    {"host", &JobSettings::hostName},     {"id", &JobSettings::accountName}, {"pswd", &JobSettings::password},
    {"dir", &JobSettings::targetFolder},  {"http", &JobSettings::baseUrl},   {"chk1", &JobSettings::mobileFlag},
    {"chk2", &JobSettings::uploadFlag},
};

// The file's text as UTF-8; empty when it cannot be read.
std::string readAsUtf8(const std::string& path) {
    std::ifstream in(utf8Path(path), std::ios::binary);
    if (!in) return {};
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (text_codec::isValidUtf8(bytes)) return bytes;
    return text_codec::cp932ToUtf8(bytes).value_or(std::string());
}

void loadInto(CSimpleIniA& ini, const std::string& path) {
    ini.SetUnicode(true);
    ini.SetSpaces(false);
    ini.SetQuotes(false);
    ini.SetMultiLine(false);
    std::string text = readAsUtf8(path);
    if (!text.empty()) ini.LoadData(text.data(), text.size());
}

// Writes through a temporary file beside the target, so that a failed
// write leaves the old file whole.
bool replaceFile(const std::string& path, const std::string& content) {
    namespace fs = std::filesystem;
    fs::path target = utf8Path(path);
    fs::path temp = target;
    temp += ".tmp";
#ifdef _WIN32
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    out.close();
    if (out.fail()) {
        std::error_code ignored;
        fs::remove(temp, ignored);
        return false;
    }
#else
    mode_t mode = S_IRUSR | S_IWUSR;
    struct stat existing;
    if (stat(target.c_str(), &existing) == 0) mode = existing.st_mode & 07777;
    int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC, mode);
    if (fd < 0) return false;
    fchmod(fd, mode);
    size_t done = 0;
    bool ok = true;
    while (ok && done < content.size()) {
        ssize_t n = ::write(fd, content.data() + done, content.size() - done);
        ok = n > 0;
        if (ok) done += static_cast<size_t>(n);
    }
    ok = ::fsync(fd) == 0 && ok;
    ok = ::close(fd) == 0 && ok;
    if (!ok) {
        ::unlink(temp.c_str());
        return false;
    }
#endif
    std::error_code ec;
    fs::rename(temp, target, ec);
    if (ec) {
        fs::remove(temp, ec);
        return false;
    }
    return true;
}

}  // namespace

std::string SettingsFile::pathIn(const std::string& folder) {
    auto text = (utf8Path(folder) / kFileName).u8string();
    return std::string(text.begin(), text.end());
}

void SettingsFile::load(JobSettings& settings) const {
    CSimpleIniA ini;
    loadInto(ini, path_);
    for (const auto& [key, field] : kKeys)
        settings.*field = text_codec::cutUtf8(ini.GetValue(kSection, key, ""), kMaxValueBytes);
    settings.connections = parseConnections(ini.GetValue(kSection, kConnectionsKey, ""));
}

int SettingsFile::parseConnections(const std::string& text) {
    if (text.empty() || text.size() > 3 || text.find_first_not_of("0123456789") != std::string::npos)
        return JobSettings::kDefaultConnections;
    return std::min(std::stoi(text), JobSettings::kMaxConnections);
}

bool SettingsFile::save(const JobSettings& settings) const {
    CSimpleIniA ini;
    loadInto(ini, path_);
    for (const auto& [key, field] : kKeys) ini.SetValue(kSection, key, (settings.*field).c_str());
    std::string content;
    if (ini.Save(content) < 0) return false;
    return replaceFile(path_, content);
}

bool SettingsFile::flagTicked(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i)
        if (text[i] != '0') return true;
    return false;
}
