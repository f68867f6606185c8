# The fuzz targets as plain functions, shared by the fuzzer executables (fuzz/) and by the
# replay of saved findings in the normal test suite (tests/fuzz_regress/).
set(VLM_FUZZ_TARGET_SOURCES
  ${CMAKE_SOURCE_DIR}/fuzz/FuzzImage.cpp
  ${CMAKE_SOURCE_DIR}/fuzz/FuzzDrive.cpp
  ${CMAKE_SOURCE_DIR}/fuzz/FuzzTargets.cpp
  ${CMAKE_SOURCE_DIR}/fuzz/FuzzVolumeTargets.cpp
  ${CMAKE_SOURCE_DIR}/fuzz/FuzzFatTargets.cpp
  ${CMAKE_SOURCE_DIR}/fuzz/FuzzExFatTargets.cpp
  ${CMAKE_SOURCE_DIR}/fuzz/FuzzNtfsTargets.cpp
  ${CMAKE_SOURCE_DIR}/fuzz/FuzzRawTargets.cpp
  ${CMAKE_SOURCE_DIR}/fuzz/FuzzStoreTargets.cpp)
set(VLM_FUZZ_TARGET_LIBS vlm_testmedia vlm_kernel vlm_plugin_types)
set(VLM_FUZZ_TARGET_DEFS)
if(TARGET vlm_appcore)
  list(APPEND VLM_FUZZ_TARGET_SOURCES ${CMAKE_SOURCE_DIR}/fuzz/FuzzResultTargets.cpp)
  list(APPEND VLM_FUZZ_TARGET_LIBS vlm_appcore)
  list(APPEND VLM_FUZZ_TARGET_DEFS VLM_FUZZ_HAVE_APPCORE)
endif()
