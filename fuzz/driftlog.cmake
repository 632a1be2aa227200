tw_fuzzer(driftlog driftlog.cpp ${TW_FUZZ_SUPPORT} ${SRC}/support/Paths.cpp
  ${SRC}/timer/DriftLog.cpp)
