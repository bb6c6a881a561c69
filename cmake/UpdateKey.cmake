# The Ed25519 public key whose signatures the updater accepts is compiled
# into UpdaterNew. A deployment names its own key's public half:
#   cmake -DORVANE_UPDATE_PUBLIC_KEY=/path/to/public.pem ...
# Without it the build makes a development key pair of its own under
# <build>/update-key/ (never committed, never in the client folder); the
# reference service signs its update packages with that private key.
set(ORVANE_UPDATE_PUBLIC_KEY "" CACHE FILEPATH
    "PEM file of the Ed25519 public key update packages are signed for (empty: a development key of this build)")

find_program(ORVANE_OPENSSL openssl REQUIRED)
set(ORVANE_UPDATE_DEV_PRIVATE_KEY "")
if(ORVANE_UPDATE_PUBLIC_KEY)
    set(update_public_pem ${ORVANE_UPDATE_PUBLIC_KEY})
else()
    set(update_key_dir ${CMAKE_BINARY_DIR}/update-key)
    set(ORVANE_UPDATE_DEV_PRIVATE_KEY ${update_key_dir}/dev-private.pem)
    set(update_public_pem ${update_key_dir}/dev-public.pem)
    if(NOT EXISTS ${ORVANE_UPDATE_DEV_PRIVATE_KEY})
        file(MAKE_DIRECTORY ${update_key_dir})
        execute_process(COMMAND ${ORVANE_OPENSSL} genpkey -algorithm ed25519 -out ${ORVANE_UPDATE_DEV_PRIVATE_KEY}
                        RESULT_VARIABLE result)
        if(NOT result EQUAL 0)
            message(FATAL_ERROR "cannot make the development update key")
        endif()
        file(REMOVE ${update_public_pem})
    endif()
    if(NOT EXISTS ${update_public_pem})
        execute_process(COMMAND ${ORVANE_OPENSSL} pkey -in ${ORVANE_UPDATE_DEV_PRIVATE_KEY} -pubout -out ${update_public_pem}
                        RESULT_VARIABLE result)
        if(NOT result EQUAL 0)
            message(FATAL_ERROR "cannot derive the development update public key")
        endif()
    endif()
endif()

# The raw 32 bytes are the last 32 of the key's DER form.
execute_process(COMMAND ${ORVANE_OPENSSL} pkey -pubin -in ${update_public_pem} -outform DER
                -out ${CMAKE_BINARY_DIR}/update-public.der RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "${update_public_pem} is no public key openssl can read")
endif()
file(READ ${CMAKE_BINARY_DIR}/update-public.der update_der HEX)
string(LENGTH "${update_der}" update_der_length)
string(SUBSTRING "${update_der}" 0 24 update_der_prefix)
if(NOT update_der_length EQUAL 88 OR NOT update_der_prefix STREQUAL "302a300506032b6570032100")
    message(FATAL_ERROR "${update_public_pem} is not an Ed25519 public key")
endif()
string(SUBSTRING "${update_der}" 24 64 ORVANE_UPDATE_PUBLIC_KEY_HEX)
# Re-run when the key file changes.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${update_public_pem})
