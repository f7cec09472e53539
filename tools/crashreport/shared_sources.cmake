# Launcher sources that FaultCourier compiles too (32-bit); each must build
# without the launcher's own globals.
list(APPEND FC_SHARED_SOURCES ${SRC}/core/text_table.cpp)
list(APPEND FC_SHARED_SOURCES ${SRC}/core/server_config.cpp)
