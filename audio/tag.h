#pragma once

#include <string>

namespace zuna {

// One tag of a file: a unified upper-case name ("TITLE", "ARTIST", "ALBUM", ...) and its
// text, both UTF-8.
struct Tag {
    std::string name;
    std::string text;
};

}  // namespace zuna
