#pragma once

namespace dravlopro {

// The run's result, printed as one result line and returned as the exit
// status.
enum ResultCode : int {
  Success = 0,
  InvalidParameter = 1,
  ConnectFailed = 2,
  CommandNotApplicable = 3,
  WriteFailed = 4,
  ReadFailed = 5,
  ResetFailed = 6,
  EraseFailed = 11,
  ProgramVerifyFailed = 12,
  OptionBytesFailed = 13,
  TargetLocked = 14,
  FileAccessFailed = 20,
  IdNotFound = 21,
  NoAdapter = 30,
  AdapterNotFound = 31,
};

}  // namespace dravlopro
