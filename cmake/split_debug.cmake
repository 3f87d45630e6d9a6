# brivelo_split_debug(<executable>): after each link the executable's debug information moves
# into <executable>.debug beside it, which the executable names through .gnu_debuglink (debuggers
# find it there). The loader maps every section of an image, so debug sections left inside make
# each start map and page in tens of megabytes that nothing running reads.
function(brivelo_split_debug target)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND "${CMAKE_OBJCOPY}" --only-keep-debug "$<TARGET_FILE:${target}>" "$<TARGET_FILE:${target}>.debug"
    COMMAND "${CMAKE_OBJCOPY}" --strip-debug "--add-gnu-debuglink=$<TARGET_FILE_NAME:${target}>.debug"
            "$<TARGET_FILE:${target}>"
    WORKING_DIRECTORY "$<TARGET_FILE_DIR:${target}>"
    VERBATIM)
endfunction()
