# Mends the pinned llama.cpp source in SOURCE_DIR where its Vulkan backend does not build with Debian
# 12's glslc and Vulkan headers (1.3.239). The compiler has no cooperative-matrix extension: the Intel
# Xe flash-attention decode shaders need it but, unlike every other such shader, are built and used
# without asking whether the compiler has it; guarded, they are left out as the others are, and those
# devices take the general path. The headers predate VK_EXT_layer_settings, which only turns on the
# validation layer's best-practice checks for debugging; without it the instance is made without them.
# Run with cmake -P; running it again changes nothing.
set(guard "GGML_VULKAN_COOPMAT_GLSLC_SUPPORT")

function(mend file old new)
  set(path "${SOURCE_DIR}/${file}")
  file(READ "${path}" text)
  string(FIND "${text}" "${new}" done)
  if(NOT done EQUAL -1)
    return()
  endif()
  string(FIND "${text}" "${old}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "${file} does not hold the text to mend; is it the pinned release?")
  endif()
  string(REPLACE "${old}" "${new}" text "${text}")
  file(WRITE "${path}" "${text}")
endfunction()

set(shaders [[
    string_to_spv("fa_decode_ph1", "flash_attn_decode_phase_1.comp", {}, true, true, false, false);
    string_to_spv("fa_decode_ph2", "flash_attn_decode_phase_2.comp", {}, true, true, false, false);
]])
mend(ggml/src/ggml-vulkan/vulkan-shaders/vulkan-shaders-gen.cpp "${shaders}" "#if defined(${guard})\n${shaders}#endif\n")

set(pipelines_start [[
    if (device->vendor_id == VK_VENDOR_ID_INTEL && (device->architecture == INTEL_XE2 || (device->architecture == INTEL_XE1 && device->coopmat_support && device->uma))) {
        auto upper_power_of_2 = [&](uint32_t in) {
]])
mend(ggml/src/ggml-vulkan/ggml-vulkan.cpp "${pipelines_start}" "#if defined(${guard})\n${pipelines_start}")
set(pipelines_end [[
    }

    for (auto &it : device->pipeline_fa_mask_opt) {
]])
mend(ggml/src/ggml-vulkan/ggml-vulkan.cpp "${pipelines_end}" "    }\n#endif\n\n    for (auto &it : device->pipeline_fa_mask_opt) {\n")

set(platform [[
    bool xe_fa_supported_platform =
        (ctx->device.get()->architecture == INTEL_XE2 && ctx->device.get()->properties.deviceID != 0xFD80 && ctx->device.get()->properties.deviceID != 0xFD81) ||
        (ctx->device.get()->architecture == INTEL_XE1 && ctx->device.get()->coopmat_support && ctx->device.get()->uma);
]])
mend(ggml/src/ggml-vulkan/ggml-vulkan.cpp "${platform}"
     "#if defined(${guard})\n${platform}#else\n    bool xe_fa_supported_platform = false;\n#endif\n")

set(instance [[
    VkBool32 enable_best_practice = layer_settings;
    std::vector<vk::LayerSettingEXT> settings = {
        {
            "VK_LAYER_KHRONOS_validation",
            "validate_best_practices",
            vk::LayerSettingTypeEXT::eBool32,
            1,
            &enable_best_practice
        },
    };
    vk::LayerSettingsCreateInfoEXT layer_setting_info(settings);
    vk::InstanceCreateInfo instance_create_info(vk::InstanceCreateFlags{}, &app_info, layers, extensions, &layer_setting_info);
]])
mend(ggml/src/ggml-vulkan/ggml-vulkan.cpp "${instance}" "#if defined(VK_EXT_layer_settings)\n${instance}#else\n\
    vk::InstanceCreateInfo instance_create_info(vk::InstanceCreateFlags{}, &app_info, layers, extensions);\n#endif\n")
