# `make demo`: builds, then upgrades a simulated camera with `quillon -h` on a
# fresh copy of the bundled demo scenario (examples/demo) and shows the
# outcome and the firmware versions before and after.
demo: build
	$(BUILD)/examples/demo/run-demo $(abspath $(BUILD))/demo-run
