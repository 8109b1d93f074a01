# The pure sources of the product libraries (no Windows header), named once:
# the two trees build them into their libraries, and the fuzzers
# (fuzz/CMakeLists.txt) compile the same files anew with clang. Paths are
# relative to the repository's root; qz6_pure_sources() makes them absolute.

set(QZ6_PURE_MODEL_SOURCES
    driver/model/adapter_model.cpp
    driver/model/commands.cpp
    driver/model/driver_queue.cpp
    driver/model/line.cpp
    driver/model/sim_control.cpp)

set(QZ6_PURE_CAPTURE_SOURCES
    common/capture/capture_files.cpp
    common/capture/capture_reader.cpp
    common/capture/capture_spool.cpp
    common/capture/exported_pdu.cpp
    common/capture/pcap_reader.cpp
    common/capture/pcapng_reader.cpp
    common/capture/pcapng_writer.cpp
    common/capture/read_error.cpp)

set(QZ6_PURE_COMMON_TEXT_SOURCES
    common/hex_text.cpp
    common/text_buffer.cpp)

set(QZ6_PURE_SIMTOOL_SOURCES
    tools/qz6sim/sim_adapter_device.cpp
    tools/qz6sim/sim_args_adapter.cpp
    tools/qz6sim/sim_args_faults.cpp
    tools/qz6sim/sim_args_frames.cpp
    tools/qz6sim/sim_args_line.cpp
    tools/qz6sim/sim_args_queue.cpp
    tools/qz6sim/sim_args_status.cpp
    tools/qz6sim/sim_done_text.cpp
    tools/qz6sim/sim_help_text.cpp
    tools/qz6sim/sim_log_text.cpp
    tools/qz6sim/sim_names.cpp
    tools/qz6sim/sim_parser.cpp
    tools/qz6sim/sim_queue_text.cpp
    tools/qz6sim/sim_replay.cpp
    tools/qz6sim/sim_reply_text.cpp
    tools/qz6sim/sim_status_json.cpp
    tools/qz6sim/sim_status_text.cpp
    tools/qz6sim/sim_text_parts.cpp
    tools/qz6sim/sim_wait.cpp)

set(QZ6_PURE_CAPTOOL_SOURCES
    tools/qz6cap/cap_extcap.cpp
    tools/qz6cap/cap_options.cpp
    tools/qz6cap/cap_text.cpp)

set(QZ6_PURE_CONFIGURATOR_SOURCES
    configurator/config_lines.cpp)

set(QZ6_PURE_MONITOR_SOURCES
    monitor/channel/command_block.cpp
    monitor/channel/configuration_codec.cpp
    monitor/channel/replies.cpp
    monitor/channel/session_rules.cpp
    monitor/frame/settings_rules.cpp)

set(QZ6_PURE_TRAFFIC_SOURCES
    monitor/traffic/receive_text.cpp
    monitor/traffic/send_text.cpp)

set(QZ6_PURE_MONITOR_CAPTURE_SOURCES
    monitor/capture/capture_text.cpp)

set(QZ6_PURE_LINE_TEST_SOURCES
    monitor/line_test/line_test_course.cpp
    monitor/line_test/line_test_frames.cpp
    monitor/line_test/line_test_text.cpp)

# qz6_pure_sources(OUT LIST_NAME ROOT): the files of LIST_NAME below ROOT.
function(qz6_pure_sources out list_name root)
    set(files ${${list_name}})
    list(TRANSFORM files PREPEND "${root}/")
    set(${out} ${files} PARENT_SCOPE)
endfunction()
