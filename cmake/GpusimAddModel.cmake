# gpusim_add_model(NAME FILE): a simulator of the model in FILE (written in
# the modelling language), named gpusim-NAME, at the top of the build folder.
# The model's C++ is generated from FILE when the simulator is built (and
# again whenever FILE or a file it imports changes) and linked with the
# simulator core and its entry point: the simulator takes gpusim's command
# line, writes gpusim's files and speaks gpusim's protocol.
#
# Whoever includes this file first sets:
#   GPUSIM_GEN_COMMAND      the generator to run (a target or a path)
#   GPUSIM_MODEL_LIBRARIES  the libraries a simulator links (entry point, core)
include_guard(GLOBAL)

function(gpusim_add_model name file)
  get_filename_component(model_file "${file}" ABSOLUTE)
  set(out_dir "${CMAKE_CURRENT_BINARY_DIR}/gpusim-model-${name}")
  set(sources "${out_dir}/GeneratedModel.cpp" "${out_dir}/GeneratedModel.h")
  add_custom_command(
    OUTPUT ${sources}
    COMMAND ${GPUSIM_GEN_COMMAND} "${model_file}" -o "${out_dir}" --depfile "${out_dir}.d"
    DEPENDS "${model_file}" ${GPUSIM_GEN_COMMAND}
    DEPFILE "${out_dir}.d"
    COMMENT "Generating the C++ of model ${name} from ${file}"
    VERBATIM)
  add_executable(gpusim-${name} ${sources})
  target_include_directories(gpusim-${name} PRIVATE "${out_dir}")
  target_link_libraries(gpusim-${name} PRIVATE ${GPUSIM_MODEL_LIBRARIES})
  set_target_properties(gpusim-${name} PROPERTIES
    RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}"
    GPUSIM_MODEL_SIMULATOR ON)
endfunction()
