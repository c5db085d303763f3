// The debug log: a failing system call is written there with its name and the error the system
// gave for it (on Windows the debugger's output, OutputDebugString; natively standard error).
#pragma once

// Writes "lanzifang: <call> failed, error <last error>" for the call that just failed.
void LogLastError(const char* call);
