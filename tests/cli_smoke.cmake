message(STATUS "pending")
