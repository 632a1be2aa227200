tw_fuzzer(session session.cpp ${SRC}/timer/SavedSession.cpp)
