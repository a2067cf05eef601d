# The random-fault campaign. Its plan (faults drawn from a seed, and the
# outcome they call for) serves both campaigns: the native one here, and the
# one under Wine (tests/e2e/fault_campaign.sh), through the fault-plan program.
set(ETHBOX_CAMPAIGN_DIR ${CMAKE_CURRENT_LIST_DIR}/../campaign)
add_library(fault_plan STATIC ${ETHBOX_CAMPAIGN_DIR}/fault_plan.cpp)
target_include_directories(fault_plan PUBLIC ${ETHBOX_CAMPAIGN_DIR})
target_link_libraries(fault_plan PUBLIC ethbox_sim_lib)

add_executable(fault-plan ${ETHBOX_CAMPAIGN_DIR}/fault_plan_main.cpp)
target_link_libraries(fault-plan PRIVATE fault_plan)

# The sequencer against the simulator, natively only: under Wine the campaign
# runs the real program instead. `ctest -L campaign` runs it alone.
if(NOT WIN32)
    add_executable(fault_campaign ${CMAKE_CURRENT_LIST_DIR}/fault_campaign.cpp)
    target_link_libraries(fault_campaign PRIVATE ethbox_core fault_plan ${ETHBOX_GTEST_LIBRARIES})
    target_include_directories(fault_campaign PRIVATE ${CMAKE_CURRENT_LIST_DIR})
    add_test(NAME campaign.native COMMAND fault_campaign)
    # The longest native test, mostly waiting out time-outs: first, so that the
    # others run beside it.
    ethbox_scaled(campaign_timeout 200)
    set_tests_properties(campaign.native PROPERTIES LABELS campaign TIMEOUT ${campaign_timeout} COST 60)
endif()
