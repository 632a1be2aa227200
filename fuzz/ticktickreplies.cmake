tw_fuzzer(ticktickreplies ticktickreplies.cpp ${SRC}/ticktick/TickTickRecords.cpp
  ${SRC}/ticktick/TickTickConfiguration.cpp ${TW_FUZZ_SUPPORT} ${SRC}/support/Paths.cpp)
