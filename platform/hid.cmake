# The HID service (hidraw and virtual HID devices).
