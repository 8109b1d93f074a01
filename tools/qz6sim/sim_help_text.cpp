// qz6sim's help text: every command, the forms of its arguments and the
// exit statuses. See sim_commands.h.
#include "tools/qz6sim/sim_commands.h"

#include "common/default_configuration.h"
#include "tools/qz6sim/sim_wait.h"

namespace qz6::simtool {

void FormatHelp(TextBuffer* out)
{
    Append(out,
           "qz6sim: looks at and drives the simulated adapters of the Zurezi6 driver\n"
           "through its control device \\\\.\\Zurezi6Sim.\n"
           "\n"
           "usage: qz6sim COMMAND [ARGUMENTS]\n"
           "\n"
           "  status [ADAPTER] [--json]     the present adapters, or one adapter: resources,\n"
           "                                configuration, channel, lines, cable, queues, counters;\n"
           "                                --json: a JSON array of one object per adapter\n"
           "  status --all [--json]         all eight adapters, absent ones too\n"
           "  cable ADAPTER loopback|none   a loopback plug, or no cable\n"
           "  cable ADAPTER null PEER       a null-modem cable to another adapter\n"
           "  inject ADAPTER [--bits 0xNN] [--bad-crc] [--abort]\n"
           "         (--hex \"7E 01 FF\" | --text TEXT | --length N)\n"
           "                                one received frame; --length sends bytes 0, 1, 2, ...;\n"
           "                                --bits are ORed into its frame_bits; prints the outcome\n"
           "  modem ADAPTER auto            DCD and CTS follow the cable\n"
           "  modem ADAPTER DCD CTS         set DCD and CTS by hand: 0, 1, low or high\n"
           "  fault ADAPTER COMMAND COUNT (code 0xNN | noanswer | fail)\n"
           "                                the next COUNT calls of COMMAND answer with return code\n"
           "                                0xNN, leave the return code untouched, or fail the call;\n"
           "                                COMMAND is a code (0x07), a name (READ_STATISTICS) or any\n"
           "  fault ADAPTER COMMAND 0       clear that script\n"
           "  failrecv ADAPTER COUNT        the next COUNT receive calls fail\n"
           "  unplug ADAPTER                remove the device: pending calls end, opens fail\n"
           "  replug ADAPTER                bring the device back\n"
           "  gen ADAPTER LENGTH RATE [COUNT]\n"
           "                                generate frames of LENGTH bytes (0, 1, 2, ...) at RATE\n"
           "                                a second (0 or max: as fast as the receiver takes them),\n"
           "                                COUNT frames or, without COUNT or with 0, until off\n"
           "  gen ADAPTER off               stop the generator\n"
           "  log ADAPTER [N]               the adapter's last N requests (default: all, up to %u)\n"
           "  impair ADAPTER [--drop N] [--corrupt N] [--crc-error N] [--abort N]\n"
           "                                of every frame arriving at ADAPTER (cable, inject, gen,\n"
           "                                replay), every Nth is lost, then every Nth of the rest\n"
           "                                has a byte changed (valid CRC), then has a bad CRC, then\n"
           "                                is aborted; counted from now, shown by status\n"
           "  impair ADAPTER off            a clean line again\n"
           "  queue ADAPTER FRAMES [BYTES]  the driver's receive queue in front of the adapter's\n"
           "                                buffers holds up to FRAMES frames and BYTES bytes\n"
           "                                (default %u and %u; FRAMES x %u + BYTES <= %u;\n"
           "                                FRAMES 0: the adapter's buffers alone)\n"
           "  queue ADAPTER default         back to %u frames and %u bytes\n"
           "  replay ADAPTER FILE [--speed FACTOR | --rate FRAMES_PER_SECOND] [--all]\n"
           "                                the inbound frames of a pcapng or pcap file (--all: every\n"
           "                                frame) arrive at ADAPTER with the recorded spacing, sped\n"
           "                                up by FACTOR (2, 0.5, ...) or at a fixed rate; a frame\n"
           "                                recorded with a bad CRC arrives with a bad CRC\n"
           "  counters ADAPTER --reset      clear the adapter's counters and impairment tallies\n"
           "                                (they count again from now); nothing else changes\n"
           "  reset                         every adapter back to its power-on state\n"
           "\n"
           "Through the adapter's own device, as any program would:\n"
           "  configure ADAPTER [--baud N]  write the default streaming configuration (RS-232,\n"
           "                                frames up to 2000 bytes), at N bit/s (default %u)\n"
           "  comms ADAPTER on|off          enable or disable communications\n"
           "  send ADAPTER HEX... [--count N] [--rate FPS]\n"
           "  send ADAPTER --length L [--count N] [--rate FPS]\n"
           "                                N frames (default 1) out of the adapter's transmitter\n"
           "                                over its cable: the HEX bytes (\"7E 01 FF\" or 7E 01 FF),\n"
           "                                or L bytes (at most %u) counting up from the frame's\n"
           "                                number; FPS frames a second, else as fast as the\n"
           "                                transmitter takes them; prints the frames sent\n"
           "\n"
           "  wait ADAPTER COUNTER OP N [--timeout SECONDS]\n"
           "                                read the status every %u ms until COUNTER compares\n"
           "                                with N (OP '>=', '<=', '==', quoted in a shell, or ge,\n"
           "                                le, eq); prints its value; SECONDS default %u\n"
           "  help                          this text\n"
           "\n"
           "ADAPTER is 0 to 7 or a device name: ROZAR6O0, KORQZ6C1 to KORQZ6C7.\n"
           "Numbers are decimal or hex with 0x. Lengths are at most %u bytes.\n"
           "\n"
           "COUNTER is a number or a true/false key of 'status --json' (true is 1):\n",
           kLogEntries, kDriverQueueDefaultFrames, kDriverQueueDefaultBytes, kDriverQueueFrameOverhead,
           kDriverQueueStorage, kDriverQueueDefaultFrames, kDriverQueueDefaultBytes, kDefaultBaudRate,
           kCommandDataSize, static_cast<unsigned>(kWaitPollUs / 1000), kDefaultWaitTimeoutMs / 1000,
           kMaxReceivedFrame);
    FormatCounterNames(out);
    Append(out, "\nExit status:\n");
    for (const ExitStatusText& text : kExitStatusTexts)
        Append(out, "  %2d  %s\n", static_cast<int>(text.status), text.meaning);
}

}  // namespace qz6::simtool
