# The physics bench runs the same scenes in ODE beside ours; ODE is linked
# into this bench only, never into the player.
pkg_check_modules(ODE REQUIRED IMPORTED_TARGET ode)
target_link_libraries(bench_physics PRIVATE PkgConfig::ODE)
