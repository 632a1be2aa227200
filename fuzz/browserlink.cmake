tw_fuzzer(browserlink browserlink.cpp ${SRC}/browserlink/Frames.cpp ${SRC}/browserlink/LinkMessages.cpp)
