# The macOS backend's C++ files, built on other systems against the Apple API
# stand-in in tests/apple_standin. On a Mac the real frameworks are used and
# these tests are not built; the Objective-C++ workspace file is left out.
if(NOT APPLE)
  file(GLOB NUVRA_MACOS_BACKEND_CXX CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/platform/macos/*.cpp)
  file(GLOB NUVRA_MACOS_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/*_test.cpp)
  list(FILTER NUVRA_MACOS_TEST_SOURCES EXCLUDE REGEX "/sha256_commoncrypto_test\\.cpp$")

  add_library(nuvra_apple_standin STATIC ${CMAKE_CURRENT_LIST_DIR}/../apple_standin/standin.cpp)
  target_include_directories(nuvra_apple_standin PUBLIC
    ${CMAKE_CURRENT_LIST_DIR}/../apple_standin/include
    ${CMAKE_CURRENT_LIST_DIR}/../apple_standin)
  target_link_libraries(nuvra_apple_standin PUBLIC nuvra_core)

  add_executable(nuvra_macos_tests ${NUVRA_MACOS_BACKEND_CXX} ${NUVRA_MACOS_TEST_SOURCES})
  target_link_libraries(nuvra_macos_tests PRIVATE
    nuvra_apple_standin nuvra_core GTest::gtest GTest::gtest_main)
  gtest_discover_tests(nuvra_macos_tests DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 120)

  # The CommonCrypto SHA-256 glue, on its own: the core here links the
  # OpenSSL one under the same name.
  add_executable(nuvra_commoncrypto_tests
    ${CMAKE_SOURCE_DIR}/src/observation/sha256_commoncrypto.cpp
    ${CMAKE_CURRENT_LIST_DIR}/../apple_standin/common_digest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/sha256_commoncrypto_test.cpp)
  target_include_directories(nuvra_commoncrypto_tests PRIVATE
    ${CMAKE_SOURCE_DIR}/src ${CMAKE_CURRENT_LIST_DIR}/../apple_standin/include)
  target_link_libraries(nuvra_commoncrypto_tests PRIVATE
    OpenSSL::Crypto GTest::gtest GTest::gtest_main)
  gtest_discover_tests(nuvra_commoncrypto_tests DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 120)
endif()
