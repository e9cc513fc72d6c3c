// A fatal error, carried unchanged to the program's entry, which prints texto and exits; and
// the printf-style formatting that builds such texts.
#ifndef TARVO_COMUM_FAILURE_H_
#define TARVO_COMUM_FAILURE_H_

#include <string>

namespace tarvo {

struct Falha {
  int status;         // the process exit status
  std::string texto;  // printed on standard output exactly as it stands; may be empty
};

// The text of a printf-style format and its arguments.
std::string formatar(const char* formato, ...) __attribute__((format(printf, 1, 2)));

// Formats the text printf-style and throws it as a Falha.
[[noreturn]] void falha(int status, const char* formato, ...) __attribute__((format(printf, 2, 3)));

}  // namespace tarvo

#endif  // TARVO_COMUM_FAILURE_H_
