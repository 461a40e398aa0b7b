// The settings-file reader and writer on arbitrary text. The input's first line
// names the entry ("section|key|value"); the rest is the file. Beyond not
// crashing: a written value reads back, every line of the result ends CR LF, a
// second identical write changes nothing, and a refused entry leaves the text.
#include "platform/profile.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

using kv::platform::Profile;

namespace {

// What a stored value reads back as: outer blanks and one pair of quotes go.
std::string readBack(std::string_view value) {
    const std::string_view blanks = " \t\r\v\f";
    const auto first = value.find_first_not_of(blanks);
    if (first == std::string_view::npos)
        return {};
    value = value.substr(first, value.find_last_not_of(blanks) - first + 1);
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
        value = value.substr(1, value.size() - 2);
    return std::string(value);
}

void check(bool ok) {
    if (!ok)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const auto lf = input.find('\n');
    const std::string_view head = input.substr(0, lf);
    const std::string_view text = lf == std::string_view::npos ? input : input.substr(lf + 1);
    const auto bar1 = head.find('|');
    const auto bar2 = bar1 == std::string_view::npos ? bar1 : head.find('|', bar1 + 1);
    const std::string_view section =
        bar1 == std::string_view::npos ? "Image" : head.substr(0, bar1);
    const std::string_view key =
        bar2 == std::string_view::npos ? "Edge" : head.substr(bar1 + 1, bar2 - bar1 - 1);
    const std::string_view value = bar2 == std::string_view::npos ? head : head.substr(bar2 + 1);

    Profile::lookup(text, section, key);
    const std::string out = Profile::update(text, section, key, value);
    if (!Profile::canWrite(section, key, value)) {
        check(out == text);
        return 0;
    }
    check(Profile::lookup(out, section, key) == readBack(value));
    check(out.size() >= 2 && out.compare(out.size() - 2, 2, "\r\n") == 0);
    for (std::size_t i = out.find('\n'); i != std::string::npos; i = out.find('\n', i + 1))
        check(i > 0 && out[i - 1] == '\r');
    check(Profile::update(out, section, key, value) == out);
    return 0;
}
