# SPDX-License-Identifier: MIT
include $(sort $(wildcard $(BR2_EXTERNAL_DEVICETOOLS_PATH)/package/*/*.mk))
