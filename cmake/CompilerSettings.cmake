# Settings every target of the project gets through velscan_settings.
add_library(velscan_settings INTERFACE)

if(MSVC)
  target_compile_options(velscan_settings INTERFACE /W4 /permissive- /fp:precise)
  if(VELSCAN_WARNINGS_AS_ERRORS)
    target_compile_options(velscan_settings INTERFACE /WX)
  endif()
else()
  target_compile_options(velscan_settings INTERFACE -Wall -Wextra -Wpedantic)
  # Every product and sum must be rounded where the arithmetic is written:
  # a fused multiply-add would change the last bit of distances and angles.
  target_compile_options(velscan_settings INTERFACE -ffp-contract=off)
  if(VELSCAN_WARNINGS_AS_ERRORS)
    target_compile_options(velscan_settings INTERFACE -Werror)
  endif()
endif()

option(VELSCAN_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
if(VELSCAN_SANITIZE)
  target_compile_options(velscan_settings INTERFACE
    -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  target_link_options(velscan_settings INTERFACE -fsanitize=address,undefined)
endif()
