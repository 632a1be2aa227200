tw_fuzzer(siterule siterule.cpp ${SRC}/preferences/SiteRule.cpp)
