# Linux: kills and injected faults through the fault shim and Debian's libfiu.
find_library(TMF_FIU_LIBRARY fiu REQUIRED)
find_file(TMF_FIU_POSIX_PRELOAD fiu_posix_preload.so PATHS /usr/lib/fiu REQUIRED NO_DEFAULT_PATH)

# Linked before the C library, the shim's definitions of the file calls come first.
add_library(fault_shim SHARED fault_shim.c)
target_compile_definitions(fault_shim PRIVATE _GNU_SOURCE)
target_include_directories(fault_shim PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(fault_shim PRIVATE ${CMAKE_DL_LIBS})

add_executable(repair_driver repair_driver.cpp)
target_link_libraries(repair_driver PRIVATE repair fault_shim)

tmf_add_test(crash_test crash_test.cpp)
target_compile_definitions(crash_test PRIVATE TMF_REPAIR_DRIVER="$<TARGET_FILE:repair_driver>")
add_dependencies(crash_test repair_driver)

tmf_add_test(fault_test fault_test.cpp)
target_link_libraries(fault_test PRIVATE fault_shim ${TMF_FIU_LIBRARY})
set_tests_properties(${TMF_TEST_PREFIX}fault_test PROPERTIES
  ENVIRONMENT "LD_PRELOAD=${TMF_FIU_POSIX_PRELOAD}")

