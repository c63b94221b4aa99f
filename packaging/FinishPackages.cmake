# Run by CPack once the packages are built: see finish-packages.sh.
execute_process(COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/finish-packages.sh ${CPACK_PACKAGE_FILES}
                COMMAND_ERROR_IS_FATAL ANY)
