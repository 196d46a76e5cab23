"""pytest settings of the module's tests. Tests marked slow run in their own
command (make test-python-slow), not in make test."""


def pytest_configure(config):
    config.addinivalue_line("markers", "slow: takes more than a few seconds")
    # distributed's own use of tornado, not ours.
    config.addinivalue_line("filterwarnings",
                            "ignore:make_current is deprecated:DeprecationWarning")
