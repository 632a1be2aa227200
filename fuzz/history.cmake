tw_fuzzer(history history.cpp ${TW_FUZZ_SUPPORT} ${SRC}/support/Paths.cpp
  ${SRC}/timer/FocusHistory.cpp ${SRC}/timer/DriftLog.cpp)
