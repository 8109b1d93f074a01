#!/bin/bash
# ./qz6 bench: measures the monitor against bare programs, all in one run on
# one Wine prefix of its own, and prints a table. usage() below says how to
# run it and what the table's columns mean.
#
# receive includes the lossless climbs: qz6mon.exe with the display off,
# then on, and the bare receive loop, each first measured unthrottled and
# then fed by the throttled generator at the steps of that rate in
# lossless_steps (50 % up to 100 %, finer near the top), 10 s a step (2 s
# with --quick), each climb stopping at the first rate that loses a
# frame or ends far behind; and the main window's longest reply to
# WM_NULL at rest and during a flood at the highest rate shown without
# loss, display on.
#
# qz6mon.exe's memory is its committed private memory as the host counts it
# (VmData): under Wine, PrivateUsage of another process is its swap use
# (0), and GetProcessHandleCount of another process is 0, so handles are
# counted in the system handle table. Both Windows figures are kept in the
# notes.
set -uo pipefail

# Printed before anything is set up or checked.
usage() {
    cat <<'EOF'
usage: ./qz6 bench [--quick] [--soak-frames N] [--soak-polls N] [--only NAMES]
       tools/bench/bench.sh [the same]   (built trees and a display needed)

Measures the monitor against bare programs doing the same work, all in one
run on one Wine prefix of its own (build/bench/prefix: the driver
installed, adapters 0 and 1 configured). Prints a table and writes
build/bench-table.txt, build/bench.json and build/bench.log.

  --quick          every size scaled down, to check that it all runs
                   (about four minutes here); the soak then stays below
                   the frame counter's wrap unless --soak-frames says
                   otherwise
  --soak-frames N  frames received in the soak (default 1000000)
  --soak-polls N   polls run beside them (default 100000)
  --only NAMES     comma-separated subset of: command, poll, receive,
                   driver, idle, startup, memory (memory includes the soak),
                   capture (qz6cap.exe: its rates, lossless rate, idle
                   processor use and its own soak of --soak-frames)
  -h, --help       this text

The table, one row a measurement: "measured" is the monitor's figure (the
bare program's in the driver rows), "baseline" what it is compared with
(the row's notes say what), "ratio" = measured / baseline. "better" says
which way the figure, and so its ratio, is better: higher, lower, equal
(to the baseline), or zero: the row must be 0, and the bench fails when it
is not. Each row's notes are under the table, under the row's number.

Exit status: 0 every measurer ran and every row that must be 0 is;
1 a measurer did not finish, or the prefix could not be set up;
2 wrong arguments; 3 a row that must be 0 is not (3 wins over 1).

Environment: QZ6_BUILD_DIR (default build/), QZ6_BENCH_SOAK_FRAMES and
QZ6_BENCH_SOAK_POLLS (defaults for --soak-frames and --soak-polls),
DISPLAY (./qz6 bench starts a virtual one).
EOF
}

wrong_usage() {
    echo "bench.sh: $1" >&2
    usage >&2
    exit 2
}

quick=0
soak_frames="${QZ6_BENCH_SOAK_FRAMES:-}"
soak_polls="${QZ6_BENCH_SOAK_POLLS:-}"
only="command,poll,receive,driver,idle,startup,memory,capture"
subset=""
while (( $# )); do
    case "$1" in
        --quick) quick=1; shift ;;
        --soak-frames) [[ $# -ge 2 && "$2" =~ ^[0-9]+$ ]] || wrong_usage "--soak-frames takes a number"
                       soak_frames="$2"; shift 2 ;;
        --soak-polls) [[ $# -ge 2 && "$2" =~ ^[0-9]+$ ]] || wrong_usage "--soak-polls takes a number"
                      soak_polls="$2"; shift 2 ;;
        --only) [[ $# -ge 2 ]] || wrong_usage "--only takes names"; only="$2"; subset=1; shift 2 ;;
        -h|--help) usage; exit 0 ;;
        *) wrong_usage "unknown argument '$1'" ;;
    esac
done

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source "$here/../wine/env.sh" || exit 1

# Sizes: full, or --quick.
if (( quick )); then
    command_calls=500 polls=200 traffic_frames=2000 traffic_shown=2000 driver_calls=1000 driver_frames=2000
    lossless_seconds=2 idle_seconds=3 startup_runs=3 warm=200 memory_frames=2000 memory_polls=500
    : "${soak_frames:=3000}" "${soak_polls:=500}"
else
    command_calls=2000 polls=1000 traffic_frames=20000 traffic_shown=20000 driver_calls=10000 driver_frames=20000
    lossless_seconds=10 idle_seconds=10 startup_runs=9 warm=1000 memory_frames=100000 memory_polls=10000
    : "${soak_frames:=1000000}" "${soak_polls:=100000}"
fi

wanted() { [[ ",$only," == *",$1,"* ]]; }

[[ -n "${DISPLAY:-}" ]] || { echo "bench.sh: needs a display (./qz6 bench starts one)" >&2; exit 1; }
bin="$QZ6_BUILD_DIR/win32/bin"
for program in qz6mon.exe qz6cap.exe zurezi6.sys monitor_poll_bench.exe traffic_bench.exe driver_bench.exe \
               process_bench.exe minimal_window.exe; do
    [[ -f "$bin/$program" ]] || { echo "bench.sh: $bin/$program is not built (./qz6 build)" >&2; exit 1; }
done

# ---------------------------------------------------------------- the prefix

prefix="$QZ6_BUILD_DIR/bench/prefix"
mkdir -p "$(dirname "$prefix")"
export QZ6_KEEPALIVE_EXE="$bin/qz6keepalive.exe"
"$here/../wine/prefix.sh" create "$prefix" || exit 1
"$here/../wine/prefix.sh" install-driver "$prefix" "$bin/zurezi6.sys" 0 1 || exit 1
export WINEPREFIX="$prefix"
qz6_wine_up "$QZ6_KEEPALIVE_EXE"
# Nothing of the prefix outlives the bench (nor the display it runs on).
trap '"$QZ6_WINESERVER" -k >/dev/null 2>&1 </dev/null || true' EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

log="$QZ6_BUILD_DIR/bench.log"
: >"$log"

# ---------------------------------------------------------------- measuring

declare -A value=() note=()
failures=()

# run_measurer NAME PROGRAM ARGS...: runs a measurer in the prefix, shows
# its lines as they come and keeps its "@ KEY VALUE" and "@note KEY TEXT"
# lines. The output goes through a file, not a pipe: a Wine process that
# outlives the program must not hold the terminal's pipe.
run_measurer() {
    local name="$1" program="$2"
    shift 2
    local out="$QZ6_BUILD_DIR/bench/$name.out" status=0
    printf '\n=== %s: %s %s\n' "$name" "$program" "$*" | tee -a "$log"
    : >"$out"
    (cd "$bin" && exec "$QZ6_WINE" "$bin/$program" "$@" </dev/null >"$out" 2>&1) &
    local pid=$!
    tail -n +1 -f --pid="$pid" "$out" 2>/dev/null | grep --line-buffered -av '^@' | sed -u 's/\r$//' | tee -a "$log"
    wait "$pid" || status=$?
    local key rest
    while IFS=' ' read -r key rest; do
        case "$key" in
            @) value["${rest%% *}"]="${rest#* }" ;;
            @note) note["${rest%% *}"]="${rest#* }" ;;
        esac
    done < <(tr -d '\r' <"$out")
    if (( status != 0 )); then
        echo "($name ended with status $status)" | tee -a "$log"
        failures+=("$name")
    fi
}

load_start="$(cut -d' ' -f1-3 /proc/loadavg)"
started_at="$(date -u +%Y-%m-%dT%H:%M:%SZ)"
echo "bench: prefix $prefix, display $DISPLAY, $( ((quick)) && echo quick sizes || echo full sizes)"

wanted command && run_measurer command monitor_poll_bench.exe command "$command_calls"
if wanted poll; then
    run_measurer poll monitor_poll_bench.exe monitor "$polls"
    run_measurer poll-bare monitor_poll_bench.exe bare "$polls"
fi
if wanted receive; then
    run_measurer receive traffic_bench.exe "$traffic_frames" "$traffic_shown"
    # Steps of each receiver's own unthrottled rate, in tenths of a per cent.
    lossless_steps=(500 750 850 900 925 950 975 1000)
    run_measurer receive-lossless process_bench.exe lossless "$lossless_seconds" "${lossless_steps[@]}"
    run_measurer receive-lossless-bare traffic_bench.exe bare-lossless "$lossless_seconds" "${lossless_steps[@]}"
fi
wanted driver && run_measurer driver driver_bench.exe "$driver_calls" "$driver_frames"
if wanted idle; then
    run_measurer idle-timer process_bench.exe idle timer "$idle_seconds"
    run_measurer idle-nodevice process_bench.exe idle nodevice "$idle_seconds"
    run_measurer idle-counting process_bench.exe idle counting "$idle_seconds"
fi
wanted startup && run_measurer startup process_bench.exe startup "$startup_runs"
wanted memory && run_measurer memory process_bench.exe endurance "$warm" "$memory_frames" "$memory_polls" \
    "$soak_frames" "$soak_polls"
if wanted capture; then
    run_measurer capture process_bench.exe capture rates "$traffic_frames"
    # The fixed rates below the bare loop's, then the bare loop's own.
    capture_bare_rate="$(awk -v x="${value[capture_bare_fps]:-0}" 'BEGIN { printf "%d", x }')"
    capture_rates=()
    for rate in 25 50 100 250 500 1000 2000 2500 3000; do
        (( capture_bare_rate == 0 || rate < capture_bare_rate )) && capture_rates+=("$rate")
    done
    (( capture_bare_rate > 0 )) && capture_rates+=("$capture_bare_rate")
    run_measurer capture-lossless process_bench.exe capture lossless "$lossless_seconds" "${capture_rates[@]}"
    run_measurer capture-soak process_bench.exe capture soak "$warm" "$soak_frames" "$idle_seconds"
fi
load_end="$(cut -d' ' -f1-3 /proc/loadavg)"

# ---------------------------------------------------------------- the table

# Rows: name|value key|baseline key (or a number, or empty)|unit|better|notes.
# The ratio is value / baseline. better: higher, lower, equal (to the
# baseline) or zero (must be 0; checked below).
v() { printf '%s' "${value[$1]:-}"; }
t() { printf '%s' "${note[$1]:-}"; }
n() { awk -v x="${value[$1]:-}" 'BEGIN { if (x == "") print "?"; else if (x == int(x) || x >= 100 || x <= -100) printf "%.0f", x; else printf "%.3g", x }'; }
yes_no() { [[ "${value[$1]:-}" == 0 ]] && echo no || { [[ -n "${value[$1]:-}" ]] && echo YES || echo "?"; }; }
mib() { awk -v b="${value[$1]:-}" 'BEGIN { if (b == "") print "?"; else printf "%.1f MiB", b / 1048576 }'; }

rows=()
row() { rows+=("$1|$2|$3|$4|$5|$6"); }

row "command: READ_STATUS via ExecuteCommand" command_monitor_us command_bare_us "us" lower \
    "Polling window open (mirrors every command); baseline bare DeviceIoControl, in turns; median of $command_calls"
row "command: same, Polling window closed" command_monitor_nopolling_us command_bare_us "us" lower \
    "ExecuteCommand without the mirror"
row "poll: Poll Now, 4 data windows + Polling" poll_monitor_ms poll_bare_ms "ms" lower \
    "in-process; baseline the four commands back to back; median of $polls"
row "poll: sent to qz6mon.exe from outside" poll_process_ms poll_bare_ms "ms" lower \
    "real process, SendMessage WM_COMMAND; includes the cross-process send; median"
row "receive: display off" receive_off_fps receive_bare_fps "frames/s" higher \
    "64-byte frames, unthrottled; baseline the bare receive loop; $(v receive_off_counted) of $(v receive_off_frames) counted, generated $(v receive_off_generated), dropped $(v receive_off_dropped), bfrs full $(v receive_off_bfrs_full); lost: $(yes_no receive_off_lost)"
row "receive: display on" receive_on_fps receive_bare_fps "frames/s" higher \
    "$(v receive_on_counted) of $(v receive_on_frames) counted, generated $(v receive_on_generated), dropped $(v receive_on_dropped), bfrs full $(v receive_on_bfrs_full); lost: $(yes_no receive_on_lost)"
row "receive: display off, capturing to a file" receive_capture_fps receive_capture_off_fps "frames/s" higher \
    "the same as display off with a pcapng capture running; baseline display off without it in the same round, the round whose ratio is the median of 3; $(v receive_capture_counted) of $(v receive_capture_frames) counted; lost: $(yes_no receive_capture_lost)"
row "receive: qz6mon.exe, display off" receive_process_off_fps receive_bare_fps "frames/s" higher \
    "real process, $memory_frames frames of the memory run"
row "receive: lossless rate, display off" receive_lossless_off_fps receive_lossless_off_unthrottled_fps "frames/s" higher \
    "real process, throttled generator, highest rate with no frame lost, ${lossless_seconds} s a rate; baseline the same process unthrottled, display off, in this run (the aim: 0.9 or more); step, rate, generated/counted/lost, waiting at the end: $(t receive_lossless_off)"
row "receive: lossless rate, display on" receive_lossless_on_fps receive_lossless_on_unthrottled_fps "frames/s" higher \
    "the same with the display on, against itself unthrottled with the display on; step, rate, generated/counted/lost, waiting at the end: $(t receive_lossless_on)"
row "receive: lossless rate, bare loop" receive_lossless_bare_fps receive_lossless_bare_unthrottled_fps "frames/s" higher \
    "the bare loop as the receiver, against itself unthrottled: how close to its own speed a receiver that does nothing else keeps up without loss on this host; step, rate, lost: $(t receive_lossless_bare)"
row "gui: longest reply during flood" gui_flood_reply_max_ms gui_idle_reply_max_ms "ms" lower \
    "WM_NULL to qz6mon.exe's main window every 10 ms from this process for ${lossless_seconds} s, $(v gui_flood_rate) frames/s display on (lost $(v gui_flood_lost)); median $(n gui_flood_reply_median_ms), p99 $(n gui_flood_reply_p99_ms) of $(v gui_flood_reply_count); baseline the same at rest"
row "driver: READ_STATUS round trip (bare)" driver_read_status_median_us "" "us" lower \
    "driver_bench; p99 $(n driver_read_status_p99_us) us"
row "driver: bare receive loop" driver_receive_fps "" "frames/s" higher \
    "driver_bench, $(v driver_receive_frames) frames"
row "idle: CPU, timer on, no device" idle_timer_cpu_pct "" "% core" lower \
    "qz6mon.exe over $idle_seconds s, timer period 3000 ms (default); wineserver meanwhile $(n idle_timer_server_cpu_pct)%"
row "idle: CPU, no timer, no device" idle_nodevice_cpu_pct "" "% core" lower \
    "qz6mon.exe waits for messages; wineserver meanwhile $(n idle_nodevice_server_cpu_pct)%"
row "idle: CPU, loop counting, device open" idle_counting_cpu_pct "" "% core" lower \
    "tick_interval 1, Link Status polling: $(n idle_counting_passes_per_s) passes/s; wineserver meanwhile $(n idle_counting_server_cpu_pct)%"
for stage in start warm frames polls soak; do
    case "$stage" in
        start) what="after start" detail="no device open" ;;
        warm) what="after warm-up" detail="$warm frames (100 shown), $warm polls; 4 data windows, Receive Detail" ;;
        frames) what="after $memory_frames frames" detail="display off" ;;
        polls) what="after $memory_polls polls" detail="Poll Now, 4 data windows" ;;
        soak) what="after the soak" detail="$(v soak_frames) frames with $(v soak_polls) polls beside them" ;;
    esac
    row "memory: private bytes, $what" "mem_${stage}_committed" "" "bytes" lower \
        "$detail; PrivateUsage $(v "mem_${stage}_private_usage"), working set $(mib "mem_${stage}_working_set"), RssAnon $(mib "mem_${stage}_rss_anon")"
    row "memory: handles, $what" "mem_${stage}_handles" "" "handles" lower \
        "GetProcessHandleCount $(v "mem_${stage}_handle_count"); host fds $(v "mem_${stage}_fds")"
done
row "memory: private bytes growth" mem_growth_committed 0 "bytes" zero \
    "after the polls against after warm-up (frames $(v mem_growth_frames_committed), polls $(v mem_growth_polls_committed))"
row "memory: handle growth" mem_growth_handles 0 "handles" zero \
    "after the polls against after warm-up; host fds $(v mem_growth_fds)"
row "start-up: to main window visible" startup_monitor_ms startup_minimal_ms "ms" lower \
    "baseline minimal_window.exe (one window); median of $startup_runs starts"
row "soak: private bytes growth" soak_growth_committed 0 "bytes" zero \
    "$(v soak_frames) frames, $(v soak_polls) polls in $(n soak_seconds) s, against after the polls"
row "soak: handle growth" soak_growth_handles 0 "handles" zero "host fds $(v soak_growth_fds)"
row "capture: qz6cap receive, unthrottled" capture_one_fps capture_bare_fps "frames/s" higher \
    "qz6cap.exe -c $(v capture_frames) into one file, 64-byte frames; baseline the bare receive loop, same configuration, in turns; medians of 3 rounds"
row "capture: qz6cap ring of files" capture_ring_fps capture_ring_one_fps "frames/s" higher \
    "-b filesize:$(v capture_ring_file_kb) -b files:3 (a new file every tenth of the frames); baseline one file in the same round, the round whose ratio is the median of 3"
row "capture: qz6cap lossless rate" capture_lossless_fps capture_lossless_bare_fps "frames/s" higher \
    "throttled generator, highest rate with no frame lost (frames in the file, the adapter's drops), ${lossless_seconds} s a rate; baseline the bare loop's climb in the same run; lost: $(t capture_lossless); bare: $(t capture_lossless_bare)"
row "capture: qz6cap CPU, quiet line" capture_idle_cpu_pct "" "% core" lower \
    "qz6cap.exe receiving over $idle_seconds s with no frame on the line"
row "capture: qz6cap private bytes growth" capture_mem_growth 0 "bytes" zero \
    "VmData after $(v capture_soak_frames) frames into a ring of two 10 MB files ($(n capture_soak_seconds) s) against after $warm: $(v capture_mem_warm) -> $(v capture_mem_soak); dropped $(v capture_soak_dropped)"
row "capture: qz6cap handle growth" capture_handles_growth 0 "handles" zero \
    "the same; handles $(v capture_handles_warm) -> $(v capture_handles_soak)"
row "soak: frame counter" soak_counter soak_counter_expected "count" equal \
    "Receive Detail counter against frames generated mod 65536 ($(v frames_total) frames in all); faults seen: $(yes_no soak_faults)"

number_text() {
    awk -v x="$1" 'BEGIN {
        if (x == "") { print "-"; exit }
        a = x < 0 ? -x : x
        if (a >= 100 || a == int(a)) printf "%.0f", x; else if (a >= 10) printf "%.1f", x; else printf "%.3g", x
    }'
}
ratio_of() {
    awk -v a="$1" -v b="$2" 'BEGIN { if (a == "" || b == "" || b + 0 == 0) print ""; else printf "%.3g", a / b }'
}
baseline_of() {
    local spec="$1"
    if [[ -z "$spec" ]]; then echo ""
    elif [[ "$spec" =~ ^-?[0-9.]+$ ]]; then echo "$spec"
    else echo "${value[$spec]:-}"
    fi
}
is_zero() { awk -v x="$1" 'BEGIN { exit !(x + 0 == 0) }'; }

# The measured rows that must be 0 and are not: name|value|unit.
not_zero=()
for r in "${rows[@]}"; do
    IFS='|' read -r name key base unit better notes <<<"$r"
    val="${value[$key]:-}"
    if [[ "$better" == zero && -n "$val" ]] && ! is_zero "$val"; then
        not_zero+=("$name|$val|$unit")
    fi
done

# A row's notes under the table: its number, then the text wrapped to the
# table's width.
note_lines() {
    fold -s -w 94 <<<"$2" | sed -e 's/ *$//' -e "1s/^/$(printf '%5s ' "[$1]")/" -e '2,$s/^/      /'
}

table="$QZ6_BUILD_DIR/bench-table.txt"
row_format='%3s %-44s %12s %12s %7s %-6s %s\n'
{
    echo
    echo "ratio = measured / baseline; better: which way the figure and its ratio are better"
    echo "(zero: must be 0, or the bench fails; equal: the figure should equal the baseline)"
    printf "$row_format" "" "measurement" "measured" "baseline" "ratio" "better" "unit"
    printf "$row_format" "" "-----------" "--------" "--------" "-----" "------" "----"
    number=0
    notes_text=""
    for r in "${rows[@]}"; do
        IFS='|' read -r name key base unit better notes <<<"$r"
        val="${value[$key]:-}"
        [[ -z "$val" && -n "$subset" ]] && continue
        number=$((number + 1))
        bval="$(baseline_of "$base")"
        ratio="$(ratio_of "$val" "$bval")"
        printf "$row_format" "$number" "$name" "$(number_text "$val")" "$(number_text "$bval")" "${ratio:--}" \
            "$better" "$unit"
        [[ -n "$notes" ]] && notes_text+="$(note_lines "$number" "$notes")"$'\n'
    done
    printf '\nnotes:\n%s' "$notes_text"
    for failed in "${not_zero[@]}"; do
        IFS='|' read -r name val unit <<<"$failed"
        printf 'FAILED: "%s" is %s %s; it must be 0\n' "$name" "$(number_text "$val")" "$unit"
    done
} | tee "$table" | tee -a "$log"

json_string() {
    local s="${1//\\/\\\\}"
    s="${s//\"/\\\"}"
    s="$(tr -d '\000-\037' <<<"$s")"
    printf '"%s"' "$s"
}
json_number() { [[ -n "$1" ]] && printf '%s' "$1" || printf 'null'; }

json="$QZ6_BUILD_DIR/bench.json"
{
    printf '{\n'
    printf '  "date": %s,\n' "$(json_string "$started_at")"
    printf '  "finished": %s,\n' "$(json_string "$(date -u +%Y-%m-%dT%H:%M:%SZ)")"
    printf '  "machine": {\n'
    printf '    "cpu": %s,\n' "$(json_string "$(awk -F': *' '/^model name/ { print $2; exit }' /proc/cpuinfo)")"
    printf '    "cores": %s,\n' "$(nproc)"
    printf '    "load_average_start": %s,\n' "$(json_string "$load_start")"
    printf '    "load_average_end": %s,\n' "$(json_string "$load_end")"
    printf '    "kernel": %s,\n' "$(json_string "$(uname -sr)")"
    printf '    "machine_arch": %s,\n' "$(json_string "$(uname -m)")"
    printf '    "wine": %s,\n' "$(json_string "$("$QZ6_WINE" --version 2>/dev/null </dev/null)")"
    printf '    "windows_arch": %s\n' "$(json_string "$QZ6_ARCH")"
    printf '  },\n'
    printf '  "sizes": {"quick": %s, "command_calls": %s, "polls": %s, "traffic_frames": %s, "traffic_shown": %s, ' \
        "$( ((quick)) && echo true || echo false)" "$command_calls" "$polls" "$traffic_frames" "$traffic_shown"
    printf '"lossless_seconds": %s, "idle_seconds": %s, "startup_runs": %s, "warm": %s, "memory_frames": %s, ' \
        "$lossless_seconds" "$idle_seconds" "$startup_runs" "$warm" "$memory_frames"
    printf '"memory_polls": %s, ' "$memory_polls"
    printf '"soak_frames": %s, "soak_polls": %s},\n' "$soak_frames" "$soak_polls"
    printf '  "failed_measurers": ['
    sep=""
    for f in "${failures[@]}"; do printf '%s%s' "$sep" "$(json_string "$f")"; sep=", "; done
    printf '],\n'
    printf '  "not_zero": ['
    sep=""
    for failed in "${not_zero[@]}"; do printf '%s%s' "$sep" "$(json_string "${failed%%|*}")"; sep=", "; done
    printf '],\n'
    printf '  "measurements": [\n'
    sep=""
    for r in "${rows[@]}"; do
        IFS='|' read -r name key base unit better notes <<<"$r"
        val="${value[$key]:-}"
        bval="$(baseline_of "$base")"
        printf '%s    {"name": %s, "value": %s, "unit": %s, "baseline": %s, "ratio": %s, "better": %s, "notes": %s}' \
            "$sep" "$(json_string "$name")" "$(json_number "$val")" "$(json_string "$unit")" \
            "$(json_number "$bval")" "$(json_number "$(ratio_of "$val" "$bval")")" "$(json_string "$better")" \
            "$(json_string "$notes")"
        sep=$',\n'
    done
    printf '\n  ]\n}\n'
} >"$json"

echo
echo "machine: $(awk -F': *' '/^model name/ { print $2; exit }' /proc/cpuinfo), $(nproc) cores, load $load_start -> $load_end, $(uname -sr), $("$QZ6_WINE" --version 2>/dev/null </dev/null), $QZ6_ARCH"
echo "table: $table; records: $json; log: $log"
status=0
if (( ${#failures[@]} )); then
    echo "bench: these measurers did not finish: ${failures[*]}" >&2
    status=1
fi
for failed in "${not_zero[@]}"; do
    IFS='|' read -r name val unit <<<"$failed"
    echo "bench: FAILED: \"$name\" is $(number_text "$val") $unit; it must be 0" >&2
    status=3
done
exit "$status"
