#pragma once

#include <memory>
#include <string>
#include <vector>

#include "adapter/hid_backend.h"
#include "base/console.h"
#include "settings/settings.h"

namespace dravlopro::platform {

// The HID interfaces of this computer.
std::unique_ptr<HidBackend> MakeHidBackend();
// The settings file in this platform's per-user folder.
std::unique_ptr<SettingsStore> MakeSettingsStore();
// Standard output; an alert is a message box when AlertShowsMessageBox()
// says so, else a line on standard error.
OutputSink& StandardOutput();
// Whether an alert of StandardOutput() is a message box now: on Windows
// when the process's window station is visible (somebody can close the
// box); never elsewhere.
bool AlertShowsMessageBox();
// Standard error; alerts go there too.
OutputSink& StandardError();
// Standard error when it is a terminal (a console on Windows), where long
// commands draw their progress line; null when it is a file, a pipe or
// nothing, which then gets no progress at all.
OutputSink* ProgressTerminal();
// Called first by every program: standard input, output and error open
// (on the null device where they were closed), and a reader of standard
// output that goes away never ends the program.
void PrepareStandardStreams();
// The command line as wide strings, entry 0 the program itself.
std::vector<std::wstring> CommandLineArguments(int argc, char** argv);

}  // namespace dravlopro::platform
