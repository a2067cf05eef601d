#pragma once

#include <string>

#include "device_simulator.h"

// Faulty answers as text, "ANSWER:KIND" (the --fault switch).
//   ANSWER  ackN (the write's ACK of block N, 0 = of the WRQ) or dataN (a read's DATA N)
//   KIND    drop, duplicate, late, wrong-block, opcode=N, empty, error=N, other-port

// False with a reason in `error` for text that names no faulty answer.
bool ParseFaultyAnswer(const std::string& text, FaultyAnswer* fault, std::string* error);

// The text ParseFaultyAnswer reads back, e.g. "ack3:drop", "data1:error=2".
std::string FaultyAnswerText(const FaultyAnswer& fault);
