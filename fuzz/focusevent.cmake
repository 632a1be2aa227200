tw_fuzzer(focusevent focusevent.cpp ${SRC}/sync/FocusEvent.cpp)
