# Shortcuts for the scripts that do the work.
.PHONY: run test test-asan windows test-windows package bench format

run:
	scripts/run

test:
	scripts/test

test-asan:
	scripts/test --asan

windows:
	scripts/windows

test-windows:
	scripts/windows --test

package:
	scripts/package

bench:
	cmake --preset bench && cmake --build --preset bench -j$$(nproc)

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i
