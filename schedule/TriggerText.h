#pragma once
// Readable description of a trigger, for schedulers that give none of their own.
#include <windows.h>
#include <mstask.h>

#include <string>

// For example "At 02:00 every Monday and Thursday of every week, starting 12/11/2026".
std::wstring DescribeTrigger(const TASK_TRIGGER& trigger);
