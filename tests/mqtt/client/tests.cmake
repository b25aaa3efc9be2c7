# The libmosquitto client against a real Mosquitto broker that each test
# starts on 127.0.0.1, on the Qt event loop.
target_link_libraries(${TEST_TARGET} PRIVATE vireluz_mqtt vireluz_net vireluz_qtadapters)
