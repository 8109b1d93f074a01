// What the measurers of the programs as processes share: the monitor under
// measurement, driven from outside the way its menus drive it, adapter 0
// of the simulated driver, the lines bench.sh reads, and the benchmarks
// that process_bench.cpp runs (the monitor's four, qz6cap's).
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "common/sim_protocol.h"
#include "tools/bench/lossless_steps.h"

namespace qz6::bench {

constexpr uint16_t kFrameLength = 64;
constexpr UINT kCommandTimeoutMs = 30000;


// ---- Lines for bench.sh ("@ KEY VALUE", "@note KEY TEXT") and for people -------------
void Value(const char* key, double value);
void Note(const char* key, const char* format, ...);
void Say(const char* format, ...);
double Median(std::vector<double> samples);

// ---- The program under measurement ---------------------------------------------
struct Program {
    PROCESS_INFORMATION process = {};
    HWND main = nullptr;
};

bool Launch(const std::string& file, Program& program);
// Closes the program (WM_CLOSE, then terminated after 15 s) and forgets it.
void Finish(Program& program);
// Starts qz6mon.exe and waits until start-up is over: the Polling window
// shows the device's status.
bool StartMonitor(Program& program);
// A menu choice, handled before this returns; false when the program did
// not answer in time (a message box it shows waits for an operator).
bool Choose(const Program& program, WPARAM item);
// Adapter 0 reset and configured for frames up to the record's size.
bool ConfigureAdapter();
bool OpenDeviceIn(const Program& program);
// Enables communications in the program; its Receive Detail window once
// a receive waits in the driver, else null.
HWND StartReceiving(const Program& program);
// Sets "Display received frames" the way a click does; false if the box
// does not show the wanted state afterwards.
bool SetDisplay(HWND detail, bool on);
// Every one of `frames` generated frames offered, none queued, and a
// receive waits in the driver again: the monitor has taken them all.
bool AllTaken(const SimAdapterStatus& adapter, uint32_t frames);
// Processor seconds, from the host when it can tell, else from Windows.
double ProcessCpuSeconds(const Program& program, unsigned long unix_pid);

// ---- The benchmarks; each returns the program's exit status ---------------------------
int Startup(int runs);
int Idle(const char* mode, int seconds);
int Endurance(uint32_t warm, uint32_t frames, uint64_t polls, uint64_t soak_frames, uint64_t soak_polls);
int Lossless(int seconds, std::vector<uint32_t> steps);
// qz6cap.exe (capture_bench.cpp): rates FRAMES | lossless SECONDS RATE... |
// soak WARM FRAMES IDLE_SECONDS.
int Capture(const std::string& mode, const std::vector<uint32_t>& numbers);

}  // namespace qz6::bench
