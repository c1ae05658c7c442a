#include "present/line_fit.h"

#include <vector>

namespace qf::present {
namespace {

constexpr char kEllipsis[] = "\xE2\x80\xA6";

bool EndsWord(char c) { return c == ' ' || c == '/' || c == '\\'; }

}  // namespace

std::string ElideAtWordEnds(const std::string& text, const TextWidth& widthOf, int width, bool keepEnd) {
    if (widthOf(text) <= width) return text;
    // Pieces that each end after a space or a separator: a cut between two of them cuts no
    // word. The bytes looked at are ASCII, so no UTF-8 sequence is split.
    std::vector<std::string> pieces;
    std::size_t begin = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (EndsWord(text[i])) {
            pieces.push_back(text.substr(begin, i + 1 - begin));
            begin = i + 1;
        }
    }
    if (begin < text.size()) pieces.push_back(text.substr(begin));
    // The ellipsis stands for the words left out, with the space that ended them.
    const auto mark = [&pieces](std::size_t back) {
        std::string m = kEllipsis;
        if (back > 0 && pieces[back - 1].back() == ' ') m += ' ';
        return m;
    };
    std::string head, tail;
    std::size_t front = 0, back = pieces.size();
    // Alternately a piece from the front and one from the back (with keepEnd), while they fit.
    for (bool grew = true; grew && front < back;) {
        grew = false;
        std::string tried = head;
        tried.append(pieces[front]).append(mark(back)).append(tail);
        if (widthOf(tried) <= width) {
            head += pieces[front++];
            grew = true;
        }
        tried = head;
        if (keepEnd && front < back) tried.append(mark(back - 1)).append(pieces[back - 1]).append(tail);
        if (keepEnd && front < back && widthOf(tried) <= width) {
            tail.insert(0, pieces[--back]);
            grew = true;
        }
    }
    return head + mark(back) + tail;
}

}  // namespace qf::present
