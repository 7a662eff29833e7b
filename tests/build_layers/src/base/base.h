#pragma once

int Base();
