# The page's end-to-end tests: the headless program on the simulated
# interface serving its page on 127.0.0.1 to real clients (python3-websockets),
# under load, and to Debian's chromium driven by puppeteer-core, which the
# setup test installs from npm into the build folder (the driver only, never
# a browser).
if(TARGET vireluz AND TARGET vireluz-tic)
  set(_web_env "LC_ALL=C.UTF-8;QT_QPA_PLATFORM=offscreen")
  foreach(_t "web|web.py|150|60" "web_load|web_load.py|150|70")
    string(REPLACE "|" ";" _f "${_t}")
    list(GET _f 0 _name)
    list(GET _f 1 _script)
    list(GET _f 2 _timeout)
    list(GET _f 3 _cost)
    add_test(NAME e2e_${_name}
      COMMAND /usr/bin/python3 ${CMAKE_SOURCE_DIR}/tests/e2e/${_script} $<TARGET_FILE:vireluz>
        $<TARGET_FILE:vireluz-tic>)
    set_tests_properties(e2e_${_name} PROPERTIES TIMEOUT ${_timeout} COST ${_cost} SKIP_RETURN_CODE 77
      ENVIRONMENT "${_web_env}")
  endforeach()
  find_program(VIRELUZ_NODE node)
  if(VIRELUZ_NODE)
    add_test(NAME web_browser_setup
      COMMAND bash ${CMAKE_SOURCE_DIR}/tests/e2e/web_browser_setup.sh ${CMAKE_BINARY_DIR}/web_node)
    set_tests_properties(web_browser_setup PROPERTIES FIXTURES_SETUP web_node TIMEOUT 300 COST 100
      SKIP_RETURN_CODE 77)
    add_test(NAME e2e_web_browser
      COMMAND ${VIRELUZ_NODE} ${CMAKE_SOURCE_DIR}/tests/e2e/web_browser.js $<TARGET_FILE:vireluz>
        ${CMAKE_BINARY_DIR}/web_node ${CMAKE_BINARY_DIR}/web_page.png)
    set_tests_properties(e2e_web_browser PROPERTIES FIXTURES_REQUIRED web_node TIMEOUT 120 COST 50
      SKIP_RETURN_CODE 77 ENVIRONMENT "${_web_env}")
  endif()
endif()
