#pragma once

int Left();
