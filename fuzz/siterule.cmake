tw_fuzzer(siterule siterule.cpp ${SRC}/distraction/SiteRule.cpp)
