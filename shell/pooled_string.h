// Placeholder until the pooled string is built.
#pragma once
class PooledString {};
