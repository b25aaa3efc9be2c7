# End-to-end tests: the headless program on the simulated interface, with its
# peers (SMTP, HTTP and MQTT servers) started by the scripts on 127.0.0.1, and the
# vireluz-tic tool. /usr/bin/python3 is the interpreter that has aiosmtpd.
if(TARGET vireluz AND TARGET vireluz-tic)
  # Loaded with LD_PRELOAD into the program by the scripts that measure how
  # long its event loop is held (VIRELUZ_STALL_PROBE).
  add_library(vireluz_stall_probe SHARED ${CMAKE_CURRENT_LIST_DIR}/stall_probe.cpp)
  target_link_libraries(vireluz_stall_probe PRIVATE Qt6::Core)
  set(_e2e_tests
    # name              script         extra argument  timeout  cost (longest first under -j)
    "alerts|alerts.py||150|80"
    "mqtt|mqtt.py||150|75"
    "mqtt_discovery|mqtt_discovery.py||180|100"
    "mqtt_slow_dns|mqtt_slow_dns.py||110|55"
    "mqtt_silent_broker|mqtt_silent_broker.py||90|45"
    "recording_daily|recording.py|daily|130|70"
    "uploads|uploads.py||140|65"
    "stuck_servers|stuck_servers.py||130|90"
    "smtp_flood|smtp_flood.py||120|85"
    "dns_silent|dns_silent.py||60|15"
    "recording_periodic|recording.py|periodic|100|40"
    "reading|reading.py||90|35"
    "startup|startup.py||90|20"
    "tools|tools.py||90|10")
  foreach(_t ${_e2e_tests})
    string(REPLACE "|" ";" _f "${_t}")
    list(GET _f 0 _name)
    list(GET _f 1 _script)
    list(GET _f 2 _arg)
    list(GET _f 3 _timeout)
    list(GET _f 4 _cost)
    add_test(NAME e2e_${_name}
      COMMAND /usr/bin/python3 ${CMAKE_CURRENT_LIST_DIR}/${_script} $<TARGET_FILE:vireluz>
        $<TARGET_FILE:vireluz-tic> ${_arg})
    set_tests_properties(e2e_${_name} PROPERTIES
      TIMEOUT ${_timeout} COST ${_cost} SKIP_RETURN_CODE 77
      ENVIRONMENT "LC_ALL=C.UTF-8;QT_QPA_PLATFORM=offscreen;VIRELUZ_STALL_PROBE=$<TARGET_FILE:vireluz_stall_probe>")
  endforeach()
endif()
