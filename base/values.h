#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/run_state.h"

namespace dravlopro {

// A command word: any word that begins with a dash.
bool BeginsWithDash(const std::wstring& word);

// One unsigned 32-bit number, decimal or hexadecimal after "0X".
bool ParseUnsigned(const std::wstring& text, std::uint32_t& value);

// The value of the last KEY=value word among the first n parameters, with a
// leading "0X" removed; empty when the key is absent.
std::wstring GetKeyValue(const std::vector<std::wstring>& params, const std::wstring& key,
                         std::size_t n);

// Reads the KEY=value words of "-ob" into the option settings. 0, or 1 for a
// key that names no setting.
int ParseOptionSettings(RunState& state, std::size_t n);

// The value of an "ID=" word: signed decimal, leading blanks and a sign
// allowed, up to the first non-digit.
std::int64_t AdapterIdValue(const std::wstring& text);

}  // namespace dravlopro
