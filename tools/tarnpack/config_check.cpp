#include "config_check.h"

#include "config_text.h"

#include <algorithm>
#include <cctype>

namespace tarnpack {

// clang-format off
const char* const kKnownKeys[] = {
    "mainclass", "cds", "minjre", "maxjre", "singleinstance", "forcecwd", "stdout", "stderr",
    "disableexternal", "jre_order", "jvmdll", "jre", "vm", "export", "option", "property",
    "argv", "message", "classpath", "libs", "addopens", "addexports", "enablenativeaccess",
    "launcheragent", nullptr};
// clang-format on

namespace {

bool isKeyChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
}

std::string lower(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

// Lower case without the separators people put inside keys ("main-class").
std::string normalized(const std::string& word) {
    std::string out;
    for (char c : lower(word)) {
        if (c != '-' && c != '_' && c != '.') {
            out += c;
        }
    }
    return out;
}

size_t editDistance(const std::string& a, const std::string& b) {
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j) {
        row[j] = j;
    }
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] != b[j - 1])});
            diagonal = above;
        }
    }
    return row[b.size()];
}

// The known key a word was probably meant to be, or null. Short keys need an
// exact match after normalising, so that ordinary words in notes stay silent.
const char* closeKey(const std::string& word) {
    std::string w = normalized(word);
    for (const char* const* key = kKnownKeys; *key; ++key) {
        std::string k = normalized(*key);
        size_t allowed = k.size() <= 3 ? 0 : k.size() <= 6 ? 1 : 2;
        if (w == k || editDistance(w, k) <= allowed) {
            return *key;
        }
    }
    return nullptr;
}

// The key that the launcher matches on this line (after leading spaces): the
// line starts with it, ASCII case ignored, and no letter, digit or "_" follows.
const char* matchedKey(const std::string& line) {
    for (const char* const* key = kKnownKeys; *key; ++key) {
        std::string k = *key;
        if (line.size() >= k.size() && lower(line.substr(0, k.size())) == k &&
            (line.size() == k.size() || !isKeyChar(line[k.size()]))) {
            return *key;
        }
    }
    return nullptr;
}

std::string checkLine(const std::string& line) {
    size_t wordEnd = 0;
    while (wordEnd < line.size() &&
           (isKeyChar(line[wordEnd]) || line[wordEnd] == '-' || line[wordEnd] == '.')) {
        ++wordEnd;
    }
    std::string word = line.substr(0, wordEnd);
    if (word.empty()) {
        return "";
    }
    const char* key = matchedKey(line);
    if (key == nullptr) {
        const char* meant = closeKey(word);
        return meant ? "unknown key '" + word + "'; did you mean '" + meant + "'?" : "";
    }
    std::string k = line.substr(0, std::string(key).size());
    if (word.size() > k.size()) {
        // "jre-order x" is the key jre with the value "-order x".
        const char* meant = closeKey(word);
        if (meant != nullptr && meant != key) {
            return "'" + word + "' is read as the key '" + key + "' with the value '" +
                   line.substr(k.size()) + "'; did you mean '" + meant + "'?";
        }
        return "";
    }
    size_t next = line.find_first_not_of(' ', k.size());
    if (next != std::string::npos && line[next] == ':') {
        return "'" + k + ":' is read as the key '" + key + "' with the value '" +
               line.substr(next) + "'; write '" + k + " VALUE' or '" + k + "=VALUE'";
    }
    if (next != std::string::npos && next > k.size() && line[next] == '=') {
        return "'" + k + " =' has spaces before '='; write '" + k + " VALUE' or '" + k + "=VALUE'";
    }
    return "";
}

} // namespace

std::vector<std::string> checkConfig(const Bytes& config) {
    std::string text = configToUtf8(config);
    std::vector<std::string> problems;
    size_t number = 0;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find_first_of("\r\n", pos);
        if (end == std::string::npos) {
            end = text.size();
        }
        std::string line = text.substr(pos, end - pos);
        ++number;
        // CR LF or LF CR is one line end, as the launcher reads them.
        pos = end;
        if (pos < text.size()) {
            char first = text[pos++];
            if (pos < text.size() && (text[pos] == '\r' || text[pos] == '\n') &&
                text[pos] != first) {
                ++pos;
            }
        }
        line.erase(0, line.find_first_not_of(' ') == std::string::npos
                          ? line.size()
                          : line.find_first_not_of(' '));
        std::string problem = checkLine(line);
        if (!problem.empty()) {
            problems.push_back("line " + std::to_string(number) + ": " + problem);
        }
    }
    return problems;
}

} // namespace tarnpack
