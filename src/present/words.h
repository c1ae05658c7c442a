// The words every front end shows, made once here in English. A front end with a
// translator installs it (the Qt dialog: its tr()); each phrase is a pattern with %1, %2,
// ... for the numbers and names, so that a translation may reorder them.
#pragma once

#include <functional>
#include <initializer_list>
#include <string>

// Marks a phrase for the translation tools without Qt: the text itself, in context `scope`.
#ifndef QT_TRANSLATE_NOOP
#define QT_TRANSLATE_NOOP(scope, x) x
#endif

namespace qf::present {

/// The context every phrase of this layer is translated in.
inline constexpr const char* kWordsContext = "qf::present";

/// Turns an English pattern into the user's language; unset: the English itself.
using Translator = std::function<std::string(const char* pattern)>;
/// Installs `translator` for every phrase made from now on (the window's thread, at start).
void SetTranslator(Translator translator);

/// `pattern` translated, with %1, %2, ... replaced by `args` in order of their numbers.
std::string Words(const char* pattern, std::initializer_list<std::string> args = {});

/// `n` grouped by thousands with commas: "3,600".
std::string Grouped(long long n);

}  // namespace qf::present
