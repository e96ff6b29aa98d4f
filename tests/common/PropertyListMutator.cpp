#include "PropertyListMutator.h"

#include <iterator>

namespace qvtest {

namespace {

const char* const kTags[] = {"<dict>", "</dict>", "<array>", "</array>", "<key>", "</key>", "<string>",
                             "</string>", "<real>", "</real>", "<integer>", "</integer>", "<true/>", "<false/>",
                             "<data>", "</data>", "<date>", "</date>", "<dict/>", "<array/>"};
const char* const kNoise[] = {"<", ">", "&", "&#0;", "&#xFFFF;", "&amp", "<!--", "-->", "<![CDATA[", "]]>",
                              "\xff", "\xc3", "nan", "-inf", "1e999", "99999999999999999999", "AAAA====", "\n"};

}  // namespace

std::string PropertyListMutator::mutate(const std::string& xml) {
    std::string text = xml;
    const int edits = 1 + int(below(4));
    for (int e = 0; e < edits; ++e) {
        const std::size_t at = below(text.size() + 1);
        switch (below(7)) {
        case 0:  // a byte changed; one time in four to NUL
            if (at < text.size()) text[at] = below(4) == 0 ? '\0' : char(m_random());
            break;
        case 1: text.erase(at, 1 + below(24)); break;
        case 2: {  // a run repeated
            const std::size_t length = std::min<std::size_t>(1 + below(64), text.size() - std::min(at, text.size()));
            text.insert(at, text.substr(at, length));
            break;
        }
        case 3: text.resize(at); break;
        case 4: {  // one tag swapped for another
            const std::size_t open = text.find('<', at);
            const std::size_t close = open == std::string::npos ? open : text.find('>', open);
            if (close != std::string::npos) text.replace(open, close - open + 1, kTags[below(std::size(kTags))]);
            break;
        }
        case 5: text.insert(at, kNoise[below(std::size(kNoise))]); break;
        default: text.insert(at, kTags[below(std::size(kTags))]); break;
        }
    }
    return text;
}

}  // namespace qvtest
