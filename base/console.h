#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace dravlopro {

// Where the tool's console text goes: standard output in the real program,
// a string in tests.
class OutputSink {
 public:
  virtual ~OutputSink() = default;
  virtual void Write(std::string_view text) = 0;
  // A message the user must acknowledge (a message box where the platform
  // has one).
  virtual void Alert(std::string_view text) = 0;
};

// The one quiet-aware way to the console.
class Console {
 public:
  Console(OutputSink& sink, const std::uint32_t& quiet) : sink_(sink), quiet_(quiet) {}

  // Prints a wide text as narrow text unless quiet mode is on.
  void PrintMessage(const std::wstring& text);
  // A direct narrow print, also silenced by quiet mode.
  void Print(std::string_view text);
  // Printed whatever quiet mode says (the usage text).
  void PrintAlways(std::string_view text);
  // Shown in quiet mode too.
  void Alert(const std::wstring& text);

  bool quiet() const { return quiet_ != 0; }

 private:
  OutputSink& sink_;
  const std::uint32_t& quiet_;
};

}  // namespace dravlopro
