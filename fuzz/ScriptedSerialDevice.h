#pragma once
// A serial device whose answers come from the fuzzer's input (see ScriptedSerialDevice.cpp).

#include <cstddef>
#include <cstdint>

// Thrown by a wait for input when the input holds no more answers.
struct TNoMoreAnswers {};

// The answers for the next run; the bytes must outlive it.
void SetScriptedAnswers(const uint8_t* data, size_t size);
