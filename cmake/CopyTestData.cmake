# Copies the tests' data files and loopback servers into the folder the tests
# run in, so that no test ever runs inside the source tree.
#   cmake -DSRC=<tests folder> -DDST=<run folder> -P CopyTestData.cmake
file(MAKE_DIRECTORY ${DST})
file(GLOB libs LIST_DIRECTORIES true ${SRC}/*)
foreach(lib ${libs})
    get_filename_component(name ${lib} NAME)
    if(IS_DIRECTORY ${lib}/data)
        file(COPY ${lib}/data DESTINATION ${DST}/${name})
    endif()
endforeach()
if(IS_DIRECTORY ${SRC}/servers)
    file(COPY ${SRC}/servers DESTINATION ${DST})
endif()
# Stand-ins that run as loopback servers (Python) go along with them.
if(IS_DIRECTORY ${SRC}/doubles)
    file(COPY ${SRC}/doubles DESTINATION ${DST} FILES_MATCHING PATTERN "*.py")
endif()
