tw_fuzzer(credentialfile credentialfile.cpp ${SRC}/platform/linux/CredentialFile.cpp
  ${SRC}/platform/linux/FileCredentials.cpp ${SRC}/support/AtomicFile.cpp)
