# The mail tests talk to a real SMTP server (tests/alerts/smtp/smtp_peer.py,
# aiosmtpd) that each test starts on 127.0.0.1 and stops again.
target_link_libraries(${TEST_TARGET} PRIVATE vireluz_net vireluz_qtadapters)
# The system interpreter carries the Debian package python3-aiosmtpd.
find_program(VIRELUZ_SMTP_PYTHON NAMES python3 PATHS /usr/bin NO_DEFAULT_PATH)
if(NOT VIRELUZ_SMTP_PYTHON)
  find_program(VIRELUZ_SMTP_PYTHON NAMES python3 REQUIRED)
endif()
target_compile_definitions(${TEST_TARGET} PRIVATE
  VIRELUZ_SMTP_PYTHON="${VIRELUZ_SMTP_PYTHON}"
  VIRELUZ_SMTP_PEER="${CMAKE_CURRENT_LIST_DIR}/smtp_peer.py")
# The limit tests run the client on simulated time.
target_sources(${TEST_TARGET} PRIVATE ${CMAKE_SOURCE_DIR}/tests/net_support/sim_io_loop.cpp)
