tw_fuzzer(browseranswer browseranswer.cpp ${SRC}/platform/BrowserAutomation.cpp
  ${SRC}/platform/RunningApplications.h)
