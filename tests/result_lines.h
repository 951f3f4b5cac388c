#pragma once

#include <string>

namespace dravlopro::testing {

// Lines the tool prints, written out independently of the code that prints
// them.
inline const std::string kSuccess = "Result: Operation success.\n";
inline const std::string kInvalid =
    "Result: Invalid parameter of command. Enter \"dravlopro.exe\" to understand the rules for "
    "each command.\n";
inline const std::string kNotApplicable =
    "Result: The command does not apply to the Commander. Please confirm that the command is "
    "correct.\n";
inline const std::string kNoAdapter =
    "Result: This computer can't enumerate any Dravlo Pro/Lite. Please make sure this computer "
    "has indeed connected to Dravlo Pro/Lite.\n";
inline const std::string kAdapterNotFound =
    "Result: The corresponding Dravlo Pro/Lite can't be found by the target ID/SN, which can be "
    "in INI file or specified by users.\n";
inline const std::string kIdNotFound =
    "Result: This ID was specified by the parameter could not be found.\n";
inline const std::string kLocked = "Result: The target MCU has been securely locked.\n";
// The selection line of a run on the only adapter of a bench, version 2.0.0.
inline const std::string kDefaultSelection =
    "This Dravlo Pro/Lite Ver:2.0.0, ID=0 (Setting comes from default value).\n";

}  // namespace dravlopro::testing
