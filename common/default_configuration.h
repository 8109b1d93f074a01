// The streaming configuration a program writes when the operator has not
// chosen another: the monitor's Configure Device starts from it, and so
// does every tool that configures an adapter. The caller gives the bit
// rate where it has one of its own.
#pragma once

#include <stdint.h>

#include "common/stream_protocol.h"

namespace qz6 {

constexpr uint32_t kDefaultBaudRate = 56000;

// RS-232, frames of up to 2000 bytes, half the buffers for sending, modem
// changes ignored, transmitted and received traffic counted.
constexpr ConfigurationToSend DefaultConfiguration(uint32_t baud_rate = kDefaultBaudRate)
{
    return {baud_rate, 2000, 50, OPERATIONAL_RS232, MODEM_IGNORE_CHANGES, STATISTICS_COUNT_TX | STATISTICS_COUNT_RX, 0};
}

}  // namespace qz6
