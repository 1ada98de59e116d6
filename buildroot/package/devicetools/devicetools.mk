################################################################################
#
# devicetools
#
################################################################################

# SPDX-License-Identifier: MIT

# The programs are built from the checkout this tree is part of; the
# version is the one its CMakeLists.txt's project() names.
DEVICETOOLS_VERSION = 1.0
DEVICETOOLS_SITE = $(BR2_EXTERNAL_DEVICETOOLS_PATH)/..
DEVICETOOLS_SITE_METHOD = local
# The checkout's own build folders (and this tree) are no part of the
# sources: leave them out of the copy Buildroot builds from.
DEVICETOOLS_OVERRIDE_SRCDIR_RSYNC_EXCLUSIONS = --exclude='/build*'
DEVICETOOLS_LICENSE = MIT
DEVICETOOLS_LICENSE_FILES = LICENSE
DEVICETOOLS_DEPENDENCIES = cjson
DEVICETOOLS_SUPPORTS_IN_SOURCE_BUILD = NO
# A newer compiler's first new warning must not fail the firmware's build.
DEVICETOOLS_CONF_OPTS = \
	-DFLAG_CONTROL_NODE="$(call qstrip,$(BR2_PACKAGE_DEVICETOOLS_FLAG_CONTROL_NODE))" \
	-DTOOLS_WERROR=OFF

$(eval $(cmake-package))
