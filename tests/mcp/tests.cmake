# nuvra-mcp: its protocol tables against a stand-in nuvra-click, the official
# MCP TypeScript SDK driving a GTK window through the real programs in a
# headless session, and the Debian package. Label: mcp.
if(APPLE)
  return()
endif()

set(NUVRA_MCP_DIR ${CMAKE_CURRENT_LIST_DIR})

add_test(NAME mcp.protocol COMMAND /usr/bin/python3 -B ${NUVRA_MCP_DIR}/test_protocol.py)
set_tests_properties(mcp.protocol PROPERTIES
  LABELS mcp
  TIMEOUT 300
  ENVIRONMENT "NUVRA_MCP=$<TARGET_FILE:nuvra-mcp>")

# The SDK is installed from the lockfile into the build tree, once for each
# change of the lockfile.
set(NUVRA_SDK_DIR ${CMAKE_CURRENT_BINARY_DIR}/mcp-sdk)
foreach(file package.json package-lock.json sdk_client.mjs)
  configure_file(${NUVRA_MCP_DIR}/${file} ${NUVRA_SDK_DIR}/${file} COPYONLY)
endforeach()
add_test(NAME mcp.sdk_install
  COMMAND sh -c "cmp -s package-lock.json node_modules/.nuvra-lock || { npm ci --no-audit --no-fund --loglevel=error && cp package-lock.json node_modules/.nuvra-lock; }"
  WORKING_DIRECTORY ${NUVRA_SDK_DIR})
set_tests_properties(mcp.sdk_install PROPERTIES LABELS mcp TIMEOUT 600 FIXTURES_SETUP mcp_sdk)
add_test(NAME mcp.sdk
  COMMAND ${CMAKE_SOURCE_DIR}/scripts/headless-session --screen 2000x1200x24 node ${NUVRA_SDK_DIR}/sdk_client.mjs)
set_tests_properties(mcp.sdk PROPERTIES
  LABELS "mcp;e2e"
  TIMEOUT 300
  FIXTURES_REQUIRED mcp_sdk
  ENVIRONMENT "NUVRA_MCP=$<TARGET_FILE:nuvra-mcp>;NUVRA_FIXTURES=${CMAKE_SOURCE_DIR}/tests/fixtures")

# The package a user installs is the build's release binaries; a sanitizer
# build would package its instrumented ones.
if(NOT NUVRA_SANITIZE)
  add_test(NAME mcp.package
    COMMAND ${CMAKE_SOURCE_DIR}/scripts/headless-session sh ${NUVRA_MCP_DIR}/test_package.sh
            ${CMAKE_BINARY_DIR})
  set_tests_properties(mcp.package PROPERTIES LABELS mcp TIMEOUT 300)
endif()
